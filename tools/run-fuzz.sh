#!/usr/bin/env bash
# Runs one fuzz target for a bounded time over its seed corpus, e.g.
#   bash tools/run-fuzz.sh pixmap 600
# New interesting inputs collect in build/fuzz/corpus/TARGET (the committed seeds in
# fuzz/corpus/TARGET are only read); a crash is saved in build/fuzz/crashes/ and ends the run
# with a non-zero status. Targets: pixmap datastream textstream pacindex freetype audiosample
# orbupacket.
# Set CORVEX_FUZZ_NO_BUILD=1 to skip the build step (tools/run-tests.sh builds once for all).
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
  echo "usage: run-fuzz.sh TARGET SECONDS" >&2
  exit 2
fi
target=$1
seconds=$2
[ "${CORVEX_FUZZ_NO_BUILD:-0}" = 1 ] || bash tools/build-fuzz.sh
binary=build/fuzz/fuzz/fuzz_$target
if [ ! -x "$binary" ]; then
  echo "run-fuzz: no fuzz target '$target' (see fuzz/*Fuzzer.cpp)" >&2
  exit 2
fi
mkdir -p "build/fuzz/corpus/$target" build/fuzz/crashes
# Leaks of process-lifetime registries are expected (the suppressions list them); inputs
# taking over 30 seconds (the sanitizers are slow) or 2 GiB count as findings.
# Progress lines are dropped; the rest (start-up, findings, final statistics) is shown.
set +e
LSAN_OPTIONS="suppressions=$PWD/tools/sanitizer-suppressions.txt:print_suppressions=0" \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  "$binary" "build/fuzz/corpus/$target" "fuzz/corpus/$target" -max_total_time="$seconds" -timeout=30 \
  -rss_limit_mb=2048 -artifact_prefix="build/fuzz/crashes/$target-" -print_final_stats=1 2>&1 |
  grep -v -E '^#[0-9]+[[:space:]]+(NEW|REDUCE|pulse)'
status=${PIPESTATUS[0]}
exit "$status"
