# corvex_add_sources(<file>...): adds a subsystem's sources to the framework library.
function(corvex_add_sources)
  target_sources(corvex PRIVATE ${ARGN})
endfunction()

# corvex_add_test(<name> <file>... [LABELS <label>]): one GoogleTest executable, run through
# CTest. Its tests carry the one label given ("display" for those that need an X display) or
# "unit"; one label only, because the discovered tests' properties cannot carry a list.
function(corvex_add_test name)
  cmake_parse_arguments(ARG "" "" "LABELS" ${ARGN})
  set(label unit)
  set(serial FALSE)
  if(ARG_LABELS)
    list(GET ARG_LABELS 0 label)
  endif()
  if(label STREQUAL "display")
    set(serial TRUE)  # windows, focus and injected input must not interleave between tests
  endif()
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  # Tests may reach into the platform layer, whose SDL the library links privately.
  target_link_libraries(${name} PRIVATE Corvex::corvex SDL2::SDL2 GTest::gtest GTest::gtest_main)
  corvex_apply_warnings(${name})
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS ${label} TIMEOUT 120 RUN_SERIAL ${serial}
    DISCOVERY_TIMEOUT 60)
endfunction()

# corvex_link_dependency(<imported target> PC <pkg-config module> DEB <Debian -dev package>...
#                        FIND <find_package arguments>... | PKG_CHECK <prefix> <module>
#                        [PUBLIC])
# Finds a library the framework links and links it, privately unless PUBLIC (a public header
# or a user's own OpenGL calls need it). Each one is recorded for the installed package, so
# that its CMake configuration finds it again, its pkg-config file requires it and its Debian
# -dev package depends on it: one place names every dependency.
function(corvex_link_dependency target)
  cmake_parse_arguments(ARG "PUBLIC" "PC" "DEB;FIND;PKG_CHECK" ${ARGN})
  if(ARG_FIND)
    find_package(${ARG_FIND} REQUIRED)
    set_target_properties(${target} PROPERTIES IMPORTED_GLOBAL TRUE)  # tests and tools use it too
    list(JOIN ARG_FIND " " args)
    set(find "find_dependency(${args})")
  else()
    find_package(PkgConfig REQUIRED)
    list(GET ARG_PKG_CHECK 0 prefix)
    list(GET ARG_PKG_CHECK 1 module)
    pkg_check_modules(${prefix} REQUIRED IMPORTED_TARGET GLOBAL ${module})
    set(find "pkg_check_modules(${prefix} REQUIRED IMPORTED_TARGET GLOBAL ${module})")
  endif()
  if(ARG_PUBLIC)
    target_link_libraries(corvex PUBLIC ${target})
    set_property(GLOBAL APPEND PROPERTY CORVEX_PC_PUBLIC ${ARG_PC})
  else()
    target_link_libraries(corvex PRIVATE ${target})
    set_property(GLOBAL APPEND PROPERTY CORVEX_PC_PRIVATE ${ARG_PC})
  endif()
  # A shared library's private dependencies do not reach its users' link lines.
  if(ARG_PUBLIC OR NOT BUILD_SHARED_LIBS)
    set_property(GLOBAL APPEND PROPERTY CORVEX_CONFIG_FINDS "${find}")
    set_property(GLOBAL APPEND PROPERTY CORVEX_DEB_DEV ${ARG_DEB})
  endif()
endfunction()
