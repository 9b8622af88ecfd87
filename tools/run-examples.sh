#!/usr/bin/env bash
# Builds the example programs and runs them one after another in a window for a person to look
# at: each runs until you press Escape or close its window, then the next one starts. Without a
# display they run on a virtual one, each driven for a few frames, and their screenshots are
# kept in build/release/test-output.
# Usage: tools/run-examples.sh [NAME...]   (names as in examples/, e.g. sprites text)
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/setup.sh
# An existing build folder keeps its build type; the examples and their tests are switched on.
type=()
[ -f build/release/CMakeCache.txt ] || type=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
cmake -S . -B build/release -G Ninja "${type[@]}" -DCORVEX_BUILD_EXAMPLES=ON -DCORVEX_BUILD_TESTS=ON
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for source in examples/*.cpp; do names+=("$(basename "$source" .cpp)"); done
fi
targets=(corvex_xwd2png)
for name in "${names[@]}"; do
  [ -f "examples/$name.cpp" ] || { echo "run-examples: no example named $name" >&2; exit 1; }
  targets+=("corvex_example_$name")
done
cmake --build build/release -j "$(nproc)" --target "${targets[@]}"

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  for name in "${names[@]}"; do
    echo "run-examples: $name (Escape goes on to the next)"
    head -n 12 "examples/$name.cpp" | sed -n '/^\/\//p' | grep -v '^// *$' | sed 's|^// |  |'
    args=()
    [ "$name" = shared-dots ] && args=(--listen 0)  # a hub; others join with --dial
    [ "$name" = fetch ] && args=(utf8::assets/examples/README.md)  # any URL will do
    "build/release/examples/corvex-example-$name" "${args[@]}"
  done
  exit 0
fi
echo "run-examples: no display; each example runs a few frames on a virtual one instead"
pattern=$(IFS='|'; echo "${names[*]}")
# No matching test is a failure, not a pass (shared-dots, which needs two processes, is run by
# tests/net/shared-dots-check.sh instead).
exec bash tools/with-display.sh ctest --test-dir build/release -R "^example_($pattern)\$" \
  --output-on-failure --no-tests=error
