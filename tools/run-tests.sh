#!/usr/bin/env bash
# Sets up, builds and runs every test: an optimised build, a short run of every fuzz target,
# then an AddressSanitizer and UndefinedBehaviorSanitizer build of the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

jobs=$(nproc)
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$jobs"
bash tools/with-display.sh ctest --test-dir build/release --output-on-failure -j "$jobs"

# The fuzz targets, where clang is installed: built with ASan+UBSan and run 20 seconds each
# over their seed corpora.
if command -v clang++ >/dev/null 2>&1; then
  bash tools/build-fuzz.sh
  for source in fuzz/*Fuzzer.cpp; do
    name=$(basename "$source" Fuzzer.cpp)
    CORVEX_FUZZ_NO_BUILD=1 bash tools/run-fuzz.sh "${name,,}" 20
  done
fi

cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCORVEX_SANITIZE=ON -DCORVEX_BUILD_BENCHMARKS=OFF
cmake --build build/asan -j "$jobs"
# Mesa's software rasteriser runs single-threaded here: LeakSanitizer's end-of-process scan
# stops every thread and can fail on llvmpipe's worker threads as they exit.
LP_NUM_THREADS=0 ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  LSAN_OPTIONS="suppressions=$PWD/tools/sanitizer-suppressions.txt:print_suppressions=0" \
  bash tools/with-display.sh ctest --test-dir build/asan --output-on-failure -j "$jobs"
