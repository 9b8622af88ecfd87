# corvex_add_sources(<file>...): adds a subsystem's sources to the framework library.
function(corvex_add_sources)
  target_sources(corvex PRIVATE ${ARGN})
endfunction()

# corvex_add_test(<name> <file>... [LABELS <label>...]): one GoogleTest executable, run through CTest.
function(corvex_add_test name)
  cmake_parse_arguments(ARG "" "" "LABELS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE Corvex::corvex GTest::gtest GTest::gtest_main)
  corvex_apply_warnings(${name})
  set(labels unit ${ARG_LABELS})
  gtest_discover_tests(${name}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    PROPERTIES LABELS "${labels}" TIMEOUT 120
    DISCOVERY_TIMEOUT 60)
endfunction()
