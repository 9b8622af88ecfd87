#!/usr/bin/env bash
# Runs the demo on the current X display as a person would: lets it draw a few frames, captures
# its window, presses C, captures again, presses Escape, and keeps the captures as PNG files.
# Every wait is bounded. Usage: demo-tour.sh DEMO XWD2PNG OUTPUT_FOLDER
set -euo pipefail
demo=$1
xwd2png=$2
out=$3
mkdir -p "$out"
out=$(cd "$out" && pwd)

"$demo" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true' EXIT

if ! window=$(timeout 10 xdotool search --sync --onlyvisible --pid "$pid" | head -n 1) || [ -z "$window" ]; then
  echo "run-demo: the demo's window did not appear" >&2
  exit 1
fi

# Saves the window's contents as $out/$1.png.
capture() {
  timeout 5 xwd -silent -id "$window" -out "$out/$1.xwd"
  "$xwd2png" "$out/$1.xwd" "$out/$1.png"
  rm -f "$out/$1.xwd"
}

sleep 1  # a few dozen frames at 60 per second
capture demo-style-0
timeout 5 xdotool windowfocus --sync "$window"
timeout 5 xdotool key c
sleep 0.5
capture demo-style-1
timeout 5 xdotool key Escape

for _ in $(seq 40); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
if kill -0 "$pid" 2>/dev/null; then
  echo "run-demo: the demo did not end within two seconds of Escape" >&2
  exit 1
fi
status=0
wait "$pid" || status=$?
trap - EXIT
echo "run-demo: the demo ran on a virtual display and ended with status $status."
echo "run-demo: its window before and after pressing C:"
echo "  $out/demo-style-0.png"
echo "  $out/demo-style-1.png"
exit "$status"
