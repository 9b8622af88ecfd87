# Debian packages of the installed framework (cpack -G DEB in the build folder): libcorvex with
# the shared library (from a BUILD_SHARED_LIBS=ON build) and libcorvex-dev with the headers,
# the CMake and pkg-config files and the link-time library. The runtime package's dependencies
# come from dpkg-shlibdeps; the -dev package depends on the -dev packages of what a user's link
# line needs (corvex_link_dependency records them).
# Each package carries the licence as Debian keeps it, in /usr/share/doc/<package>/copyright.
install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libcorvex-dev
  RENAME copyright COMPONENT dev)
if(BUILD_SHARED_LIBS)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/libcorvex
    RENAME copyright COMPONENT runtime)
endif()

set(CPACK_PACKAGE_NAME corvex)
set(CPACK_PACKAGE_VENDOR "The Corvex developers")
set(CPACK_PACKAGE_CONTACT "The Corvex developers <corvex@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "C++20 framework for 2D games and multimedia programs")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_GENERATOR DEB)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION libdevel)

get_property(dev_depends GLOBAL PROPERTY CORVEX_DEB_DEV)
list(APPEND dev_depends pkg-config)
if(BUILD_SHARED_LIBS)
  set(CPACK_COMPONENTS_ALL runtime dev)
  list(PREPEND dev_depends "libcorvex (= ${PROJECT_VERSION})")
else()
  set(CPACK_COMPONENTS_ALL dev)
endif()
list(JOIN dev_depends ", " CPACK_DEBIAN_DEV_PACKAGE_DEPENDS)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libcorvex)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_DEV_PACKAGE_NAME libcorvex-dev)
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "C++20 framework for 2D games and multimedia programs (shared library)")
set(CPACK_COMPONENT_DEV_DESCRIPTION "C++20 framework for 2D games and multimedia programs (development files)")
include(CPack)
