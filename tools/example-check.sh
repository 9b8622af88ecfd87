#!/usr/bin/env bash
# Runs one example program on the current X display as its test: waits for its window, sends it
# the given xdotool commands, saves a screenshot as OUTPUT_FOLDER/<program>.png, presses Escape
# and expects the program to end with status 0. Every wait is bounded; the program also stops by
# itself after CORVEX_EXAMPLE_FRAMES frames (2400 unless set: 40 s at 60 Hz, and enough for
# unpaced frames between the commands) should Escape never arrive.
# Usage: example-check.sh PROGRAM XWD2PNG OUTPUT_FOLDER [XDOTOOL_COMMANDS]
# In XDOTOOL_COMMANDS, the word WINDOW stands for the program's window id.
set -euo pipefail
program=$1
xwd2png=$2
out=$3
commands=${4:-}
name=$(basename "$program")
mkdir -p "$out"
out=$(cd "$out" && pwd)

CORVEX_EXAMPLE_FRAMES=${CORVEX_EXAMPLE_FRAMES:-2400} "$program" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

if ! window=$(timeout 20 xdotool search --sync --onlyvisible --pid "$pid" | head -n 1) || [ -z "$window" ]; then
  echo "$name: no window appeared" >&2
  exit 1
fi
sleep 1  # some frames drawn
timeout 5 xdotool windowfocus --sync "$window"
if [ -n "$commands" ]; then
  # shellcheck disable=SC2086  # the commands are words for xdotool
  timeout 20 xdotool ${commands//WINDOW/$window}
  sleep 0.5  # the program's answer drawn
fi
timeout 5 xwd -silent -id "$window" -out "$out/$name.xwd"
"$xwd2png" "$out/$name.xwd" "$out/$name.png"
rm -f "$out/$name.xwd"
timeout 5 xdotool key --window "$window" Escape || true

for _ in $(seq 100); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "$name: still running ten seconds after Escape" >&2
  exit 1
fi
status=0
wait "$pid" || status=$?
trap - EXIT
echo "$name: screenshot $out/$name.png, exit status $status"
exit "$status"
