# Installs the library, its public headers (cmake/CorvexPublicHeaders.cmake), a CMake package
# configuration (find_package(Corvex 0.3), then link Corvex::corvex) and beside it a pkg-config
# file (corvex.pc) for other build systems. Both find the libraries the framework links through
# the names recorded by corvex_link_dependency, never through paths of the building machine.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS corvex EXPORT CorvexTargets
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev)
foreach(header ${CORVEX_PUBLIC_HEADERS})
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION include/corvex/${dir} COMPONENT dev)
endforeach()
install(FILES ${PROJECT_BINARY_DIR}/include/corvex/Version.h DESTINATION include/corvex COMPONENT dev)

set(cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/Corvex)
install(EXPORT CorvexTargets NAMESPACE Corvex:: DESTINATION ${cmake_dir} COMPONENT dev)
get_property(finds GLOBAL PROPERTY CORVEX_CONFIG_FINDS)
list(JOIN finds "\n" CORVEX_FIND_DEPENDENCIES)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/CorvexConfig.cmake.in
  ${PROJECT_BINARY_DIR}/CorvexConfig.cmake INSTALL_DESTINATION ${cmake_dir})
# Before 1.0 a minor version may change the interface: 0.3 is satisfied by 0.3.x only.
if(PROJECT_VERSION_MAJOR EQUAL 0)
  set(compatibility SameMinorVersion)
else()
  set(compatibility SameMajorVersion)
endif()
write_basic_package_version_file(${PROJECT_BINARY_DIR}/CorvexConfigVersion.cmake
  COMPATIBILITY ${compatibility})
install(FILES ${PROJECT_BINARY_DIR}/CorvexConfig.cmake ${PROJECT_BINARY_DIR}/CorvexConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/CorvexEmbed.cmake ${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake
  DESTINATION ${cmake_dir} COMPONENT dev)

# pkg-config: a static library puts everything it links on its users' link lines; a shared one
# only what its headers need, the rest for --static.
get_property(pc_public GLOBAL PROPERTY CORVEX_PC_PUBLIC)
get_property(pc_private GLOBAL PROPERTY CORVEX_PC_PRIVATE)
if(BUILD_SHARED_LIBS)
  list(JOIN pc_public " " CORVEX_PC_REQUIRES)
  list(JOIN pc_private " " CORVEX_PC_REQUIRES_PRIVATE)
  set(CORVEX_PC_LIBS_PRIVATE "-l${CMAKE_DL_LIBS}")
else()
  list(JOIN pc_public " " CORVEX_PC_REQUIRES)
  list(JOIN pc_private " " private)
  string(APPEND CORVEX_PC_REQUIRES " ${private}")
  set(CORVEX_PC_REQUIRES_PRIVATE "")
  set(CORVEX_PC_LIBS_PRIVATE "")
  set(CORVEX_PC_LIBS_STATIC "-l${CMAKE_DL_LIBS}")
endif()
file(RELATIVE_PATH CORVEX_PC_PREFIX_FROM_PCDIR "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(${PROJECT_SOURCE_DIR}/cmake/corvex.pc.in ${PROJECT_BINARY_DIR}/corvex.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/corvex.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT dev)
