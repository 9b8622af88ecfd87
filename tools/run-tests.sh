#!/usr/bin/env bash
# Sets up, builds and runs every test: an optimised build, the API reference, the shared library
# with its Debian packages, the audio mixer's tests under ThreadSanitizer, a short run of every
# fuzz target, then an AddressSanitizer and UndefinedBehaviorSanitizer build of the whole suite.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh

jobs=$(nproc)
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$jobs"
bash tools/with-display.sh ctest --test-dir build/release --output-on-failure -j "$jobs"

# The reference: Doxygen over the public headers, failing on any undocumented public member and
# on any fault of form.
cmake --build build/release --target docs

# libcorvex.so (exports, SONAME, the install test against it) and the .deb files, unpacked into
# a temporary root and built against.
bash tools/with-display.sh bash tests/install/check-packages.sh build/shared

# The mixer's program and mixing threads share rings, voice fields and reference counts only:
# its tests (which build without the rest of the framework) run under ThreadSanitizer.
cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEX_TSAN_MIXER=ON -DCORVEX_BUILD_BENCHMARKS=OFF
cmake --build build/tsan -j "$jobs" --target sonavox_mixer_tsan_tests
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build/tsan --output-on-failure -R '^sonavox_mixer_tsan_tests$'

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
