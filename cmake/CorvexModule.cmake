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
  target_link_libraries(${name} PRIVATE Corvex::corvex GTest::gtest GTest::gtest_main)
  corvex_apply_warnings(${name})
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS ${label} TIMEOUT 120 RUN_SERIAL ${serial}
    DISCOVERY_TIMEOUT 60)
endfunction()
