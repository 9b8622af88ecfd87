#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ in build/fuzz with clang, AddressSanitizer and
# UndefinedBehaviorSanitizer. Needs clang and libclang-rt-14-dev (tools/packages.txt).
set -euo pipefail
cd "$(dirname "$0")/.."
CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCORVEX_SANITIZE=ON \
  -DCORVEX_BUILD_FUZZERS=ON -DCORVEX_BUILD_TESTS=OFF -DCORVEX_BUILD_BENCHMARKS=OFF -DCORVEX_BUILD_EXAMPLES=OFF \
  > /dev/null
targets=()
for source in fuzz/*Fuzzer.cpp; do
  name=$(basename "$source" Fuzzer.cpp)
  targets+=("fuzz_${name,,}")
done
cmake --build build/fuzz -j "$(nproc)" --target "${targets[@]}" corvex_fuzz_seeds
