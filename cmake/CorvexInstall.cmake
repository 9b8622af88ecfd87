# Installs the library, its headers and a package configuration, so that another CMake
# project can use find_package(Corvex) and link Corvex::corvex.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS corvex EXPORT CorvexTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(dir runtime startup stream data util process pixmap system graphics vex2d fonts pac audio)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir} DESTINATION include/corvex
    FILES_MATCHING PATTERN "*.h" PATTERN "posix" EXCLUDE PATTERN "sdl2" EXCLUDE)
endforeach()
install(EXPORT CorvexTargets NAMESPACE Corvex:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Corvex)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/CorvexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CorvexConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Corvex)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CorvexConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/CorvexConfig.cmake ${PROJECT_BINARY_DIR}/CorvexConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Corvex)
