#!/usr/bin/env bash
# Drives the shared-dots example on the X display: a hub and a client, the client's dot moved
# right with the arrow key, and the hub asked to quit; the hub must report the client's dot
# where the client moved it. Usage: shared-dots-check.sh <example program>
set -euo pipefail
program=$1
work=$(mktemp -d)
trap 'kill ${hub:-} ${client:-} 2>/dev/null || true; rm -rf "$work"' EXIT

window_of() {  # the window of a process, waiting for it to appear
  for _ in $(seq 200); do
    if id=$(xdotool search --onlyvisible --pid "$1" 2>/dev/null | tail -1) && [ -n "$id" ]; then
      echo "$id"
      return
    fi
    sleep 0.1
  done
  return 1
}
press() {  # focuses a window and runs the xdotool key commands that follow
  local id=$1
  shift
  xdotool windowactivate --sync "$id" 2>/dev/null || xdotool windowfocus --sync "$id"
  xdotool "$@"
}

CORVEX_EXAMPLE_FRAMES=6000 "$program" --listen 0 >"$work/hub.out" &
hub=$!
hub_window=$(window_of $hub)
port=$(awk '$1 == "port" { print $2 }' "$work/hub.out")
CORVEX_EXAMPLE_FRAMES=6000 "$program" --dial 127.0.0.1 "$port" >"$work/client.out" &
client=$!
client_window=$(window_of $client)

press "$client_window" keydown Right sleep 1 keyup Right
sleep 1
press "$hub_window" key Escape
wait $hub
press "$client_window" key Escape
wait $client

echo "hub:" && cat "$work/hub.out"
echo "client:" && cat "$work/client.out"
own=$(awk '$1 == "dot" && $4 == "own" { print $2 }' "$work/client.out")
seen=$(awk '$1 == "dot" && $4 == "peer" { print $2 }' "$work/hub.out")
[ -n "$own" ] && [ "$own" -gt 240 ] || { echo "the client's dot did not move right"; exit 1; }
[ "$seen" = "$own" ] || { echo "the hub saw the client's dot at x=$seen, not $own"; exit 1; }
echo "the hub saw the client's dot at x=$own"
