#!/usr/bin/env bash
# Runs a command with an X display: the user's own when there is one, otherwise a virtual
# one (Xvfb) with Mesa's software OpenGL.
set -euo pipefail
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  exec "$@"
fi
export LIBGL_ALWAYS_SOFTWARE=1
exec xvfb-run --auto-servernum --server-args="-screen 0 1024x768x24" "$@"
