# Installs the library, its public headers, a CMake package configuration (find_package(Corvex),
# then link Corvex::corvex) and beside it a pkg-config file (corvex.pc) for other build systems.
#
# Public headers are those a program includes. Private, and not installed: platform code in the
# sdl2/ and posix/ subfolders, the platform seams (*Platform.h) and the OpenGL drivers' internals
# (GL*.h); no public header includes them (tests/install checks the installed tree alone).
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS corvex EXPORT CorvexTargets ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(dir runtime startup stream data util process pixmap system graphics vex2d fonts pac audio net)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/${dir} DESTINATION include/corvex
    FILES_MATCHING PATTERN "*.h"
    PATTERN "posix" EXCLUDE PATTERN "sdl2" EXCLUDE PATTERN "*Platform.h" EXCLUDE PATTERN "GL*.h" EXCLUDE)
endforeach()
install(EXPORT CorvexTargets NAMESPACE Corvex:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Corvex)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/CorvexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CorvexConfig.cmake INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Corvex)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CorvexConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/CorvexConfig.cmake ${PROJECT_BINARY_DIR}/CorvexConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Corvex)

# Debian's pkg-config names of what the library links (find_dependency in CorvexConfig.cmake).
set(CORVEX_PC_REQUIRES "libpng libjpeg sdl2 gl freetype2 vorbisfile flac libmpg123 libenet")
file(RELATIVE_PATH CORVEX_PC_PREFIX_FROM_PCDIR "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(${PROJECT_SOURCE_DIR}/cmake/corvex.pc.in ${PROJECT_BINARY_DIR}/corvex.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/corvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
