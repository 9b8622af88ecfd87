#!/usr/bin/env bash
# Sets up, builds and runs the demo. On the user's display it opens its window (C switches the
# text style, Escape ends it). Without a display it runs on a virtual one, where tools/demo-tour.sh
# shows it a few frames, C and Escape, and saves its window as PNG files. Safe to run again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/release -j "$(nproc)" --target corvex_demo corvex_xwd2png
demo=build/release/demo/corvex_demo

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  echo "run-demo: C switches the text style, Escape ends the demo."
  exec "$demo"
fi
exec bash tools/with-display.sh bash tools/demo-tour.sh "$demo" build/release/tools/xwd2png/corvex-xwd2png \
  build/release/demo-captures
