#!/usr/bin/env bash
# Sets up, builds and runs the main program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$(nproc)"
exec bash tools/with-display.sh build/release/demo/corvex_demo "$@"
