# Warning and sanitizer flags shared by every target of the project.
function(corvex_apply_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor)
endfunction()

if(CORVEX_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=address,undefined)
endif()

# Fuzz targets need the library's branches instrumented for coverage; only the targets
# themselves link libFuzzer's main.
if(CORVEX_BUILD_FUZZERS)
  add_compile_options(-fsanitize=fuzzer-no-link)
endif()
