#!/usr/bin/env bash
# Installs the built framework into a temporary prefix and uses it as an outside project would:
# the installed headers alone compile (no public header needs a private one, and no private
# header is installed), and a small program builds and runs both through the CMake package and
# through pkg-config with a plain compiler command.
# Usage: check-install.sh BUILD_DIR CXX_COMPILER
set -euo pipefail
build=$1
cxx=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

# Runs a built consumer and expects its one line (PrintLine ends lines with CR LF).
expect_ok() {
  local said
  said=$("$1" | tr -d '\r')
  if [ "$said" != "consumer ok" ]; then
    echo "$1 said: $said" >&2
    exit 1
  fi
}

cmake --install "$build" --prefix "$prefix" > "$work/install.log"
include=$prefix/include/corvex

private=$(cd "$include" && find . -path '*/sdl2/*' -o -path '*/posix/*' -o -name '*Platform.h' -o -name 'GL*.h')
if [ -n "$private" ]; then
  echo "private headers were installed: $private" >&2
  exit 1
fi
# One source including every installed header, compiled against the installed tree alone.
(cd "$include" && find . -name '*.h' | sort | sed 's|^\./|#include "|; s|$|"|') > "$work/all-headers.cpp"
"$cxx" -std=c++20 -fsyntax-only -I"$include" "$work/all-headers.cpp"

# The CMake package.
cmake -S "$here/consumer" -B "$work/cmake-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" > "$work/cmake.log"
cmake --build "$work/cmake-build" > "$work/cmake-build.log"
expect_ok "$work/cmake-build/consumer"

# pkg-config and one compiler command, as a Makefile would do it.
mkdir -p "$work/pc-build"
flags=$(PKG_CONFIG_PATH=$prefix/lib/pkgconfig pkg-config --cflags --libs corvex)
# shellcheck disable=SC2086  # the flags are words
"$cxx" "$here/consumer/main.cpp" -o "$work/pc-build/consumer" $flags
expect_ok "$work/pc-build/consumer"
echo "check-install: headers, CMake package and pkg-config all usable from $prefix"
