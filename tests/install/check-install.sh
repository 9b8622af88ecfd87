#!/usr/bin/env bash
# Installs the built framework into a temporary prefix, moves it (nothing may point back at the
# build or at the place of installation) and uses it as an outside project would: the installed
# headers alone compile (no public header needs a private one, and no private header is
# installed); a CMake project that sets no C++ standard builds small programs and a copy of
# every example through the package; a program builds through pkg-config with one compiler
# command. The programs run and say "consumer ok" (the OpenGL one only with a display).
# Usage: check-install.sh BUILD_DIR CXX_COMPILER SOURCE_DIR
set -euo pipefail
build=$1
cxx=$2
source=$3
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "check-install: $*" >&2
  exit 1
}
# Runs a built consumer and expects its one line (PrintLine ends lines with CR LF).
expect_ok() {
  local said
  said=$("$@" | tr -d '\r')
  [ "$said" = "consumer ok" ] || fail "$1 said: $said"
}

cmake --install "$build" --prefix "$work/staging" > "$work/install.log"
mv "$work/staging" "$work/prefix"
prefix=$work/prefix
include=$prefix/include/corvex
pcfile=$(find "$prefix" -name corvex.pc)
libdir=$(dirname "$(dirname "$pcfile")")  # lib, or lib/<multiarch> under /usr
export LD_LIBRARY_PATH=$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}

private=$(cd "$include" && find . -path '*/sdl2/*' -o -path '*/posix/*' -o -name '*Platform.h' \
  -o -name GLQuadBatch.h -o -name GLVertexPlacement.h -o -name GLCheck.h -o -name GLFunctions.h \
  -o -name GLRenderTarget.h -o -name GLShader.h)
[ -z "$private" ] || fail "private headers were installed: $private"
for header in vex2d/GLVex2DDriver.h vex2d/GLImageFrame.h graphics/GLGraphics.h graphics/GLDebugDraw.h Version.h; do
  [ -f "$include/$header" ] || fail "$header is not installed"
done
if grep -rl -e "$build" -e "$source" -e "$work/staging" -e '/usr/lib[^"]*\.so' "$libdir/cmake" "$libdir/pkgconfig"; then
  fail "the package files above name the build machine's folders or libraries"
fi
# One source including every installed header, compiled against the installed tree alone.
(cd "$include" && find . -name '*.h' | sort | sed 's|^\./|#include "|; s|$|"|') > "$work/all-headers.cpp"
"$cxx" -std=c++20 -fsyntax-only -I"$include" -I"$prefix/include" "$work/all-headers.cpp"

# The CMake package: the consumer's programs and the examples, in one project.
cmake -S "$here/consumer" -B "$work/cmake-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_PREFIX_PATH="$prefix" -DEXAMPLES_DIR="$source/examples" \
  > "$work/cmake.log" || { cat "$work/cmake.log"; fail "the consumer project does not configure"; }
cmake --build "$work/cmake-build" -j2 > "$work/cmake-build.log" 2>&1 ||
  { tail -n 40 "$work/cmake-build.log"; fail "the consumer project does not build"; }
expect_ok "$work/cmake-build/consumer"
if [ -n "${DISPLAY:-}" ]; then
  expect_ok "$work/cmake-build/gl-consumer"
else
  echo "check-install: no display, gl-consumer built but not run"
fi

# pkg-config and one compiler command, as a Makefile would do it; for a shared library the
# private dependencies come with --static only.
mkdir -p "$work/pc-build"
export PKG_CONFIG_PATH=$libdir/pkgconfig
flags=$(pkg-config --cflags --libs corvex)
# shellcheck disable=SC2086  # the flags are words
"$cxx" "$here/consumer/main.cpp" -o "$work/pc-build/consumer" $flags
expect_ok "$work/pc-build/consumer"
if [ -e "$libdir/libcorvex.so" ]; then
  pkg-config --static --libs corvex | grep -q -- -lenet || fail "pkg-config --static leaves out the private libraries"
fi
# Added to another project with add_subdirectory, Corvex builds the library only.
mkdir -p "$work/parent"
cat > "$work/parent/CMakeLists.txt" <<CMAKE
cmake_minimum_required(VERSION 3.25)
project(Parent LANGUAGES C CXX)
add_subdirectory("$source" corvex)
CMAKE
cmake -S "$work/parent" -B "$work/parent-build" -G Ninja > "$work/parent.log" ||
  { cat "$work/parent.log"; fail "a parent project cannot add Corvex"; }
if cmake --build "$work/parent-build" --target help | grep -E 'corvex_(example|demo)|_tests|_bench|^docs'; then
  fail "a parent project gets the targets above"
fi
echo "check-install: headers, CMake package (with the examples) and pkg-config all usable from a moved $prefix"
