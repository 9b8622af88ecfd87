# corvex_embed_file(<symbol> <file>): compiles a file's bytes into the framework library, for a
# module that registers them with AddEmbeddedFile. The generated source defines
#   namespace corvex::embedded { extern const uint8_t <symbol>[]; extern const int32_t <symbol>Size; }
# and is regenerated at build time whenever the file changes; nothing is read at run time.
function(corvex_embed_file symbol file)
  get_filename_component(input "${file}" ABSOLUTE)
  set(script "${PROJECT_SOURCE_DIR}/cmake/EmbedFile.cmake")
  set(output "${PROJECT_BINARY_DIR}/generated/embedded/${symbol}.cpp")
  add_custom_command(
    OUTPUT "${output}"
    COMMAND "${CMAKE_COMMAND}" "-DINPUT=${input}" "-DOUTPUT=${output}" "-DSYMBOL=${symbol}" -P "${script}"
    DEPENDS "${input}" "${script}"
    COMMENT "Embedding ${file}"
    VERBATIM)
  # The rule lives in the calling folder, the library in the root: a target here runs it.
  add_custom_target(corvex_embed_${symbol} DEPENDS "${output}")
  add_dependencies(corvex corvex_embed_${symbol})
  target_sources(corvex PRIVATE "${output}")
endfunction()
