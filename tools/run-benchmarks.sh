#!/usr/bin/env bash
# Builds the optimised tree and runs every benchmark (each with its baseline in the same run).
# Pass a benchmark filter regex to run only some, e.g. `bash tools/run-benchmarks.sh LoadAllBytes`.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$(nproc)"
for bench in build/release/bench/corvex_*_bench; do
  echo "== ${bench##*/}"
  bash tools/with-display.sh "$bench" --benchmark_filter="${1:-.}" --benchmark_min_time=0.2
done
