# cmake -DWARNINGS=<Doxygen's warning log> -P CheckDocWarnings.cmake
# Fails on any warning about the reference: an undocumented public member of any public header,
# or a fault in the documentation's form. Only Doxygen's own troubles are let through.
file(STRINGS ${WARNINGS} lines)
set(failures "")
set(count 0)
foreach(line IN LISTS lines)
  if(NOT line MATCHES "warning: " OR line MATCHES "Internal inconsistency")
    continue()  # continuation lines, and Doxygen's own troubles (std::hash specialisations)
  endif()
  string(APPEND failures "${line}\n")
  math(EXPR count "${count} + 1")
endforeach()
if(failures)
  message(FATAL_ERROR "docs: ${count} faults in the reference:\n${failures}")
endif()
message(STATUS "docs: every public member documented")
