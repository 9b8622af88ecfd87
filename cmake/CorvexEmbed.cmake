# corvex_embed_file(<symbol> <file> [TARGET <target>]): compiles a file's bytes into a target
# (the framework library when no TARGET is given), for code that registers them with
# AddEmbeddedFile. The installed package provides it too (find_package(Corvex) includes this
# file), for a program's own embedded files. The generated source defines
#   namespace corvex::embedded { extern const uint8_t <symbol>[]; extern const int32_t <symbol>Size; }
# and is regenerated at build time whenever the file changes; nothing is read at run time.
set(CORVEX_EMBED_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/EmbedFile.cmake")
function(corvex_embed_file symbol file)
  cmake_parse_arguments(ARG "" "TARGET" "" ${ARGN})
  set(target corvex)
  if(ARG_TARGET)
    set(target ${ARG_TARGET})
  endif()
  get_filename_component(input "${file}" ABSOLUTE)
  set(script "${CORVEX_EMBED_SCRIPT}")
  set(output "${PROJECT_BINARY_DIR}/generated/embedded/${symbol}.cpp")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" "-DINPUT=${input}" "-DOUTPUT=${output}" "-DSYMBOL=${symbol}" -P "${script}"
    DEPENDS "${input}" "${script}"
    COMMENT "Embedding ${file}"
    VERBATIM)
  # The rule lives in the calling folder, the target possibly in another: a target here runs it.
  add_custom_target(corvex_embed_${symbol} DEPENDS "${output}")
  add_dependencies(${target} corvex_embed_${symbol})
  target_sources(${target} PRIVATE "${output}")
endfunction()
