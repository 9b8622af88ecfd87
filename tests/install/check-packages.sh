#!/usr/bin/env bash
# The shared library and the Debian packages, as CI checks them: builds the framework with
# BUILD_SHARED_LIBS=ON (and the examples against it), checks the SONAME and that only the public
# API is exported, runs the install test on it, makes the .deb files with cpack, checks their
# declared dependencies and unpacks both into a temporary root (never into the machine), where a
# small program builds through the CMake package and runs.
# Usage: check-packages.sh [BUILD_DIR]   (default build/shared; run from anywhere)
set -euo pipefail
source=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$source/build/shared}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "check-packages: $*" >&2
  exit 1
}

cmake -S "$source" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_SHARED_LIBS=ON \
  -DCMAKE_INSTALL_PREFIX=/usr > "$work/configure.log"
cmake --build "$build" -j "$(nproc)"

library=$(find "$build" -maxdepth 1 -name 'libcorvex.so.*.*.*')
[ -n "$library" ] || fail "no libcorvex.so.X.Y.Z in $build"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
soname=$(readelf -d "$library" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
[ "$soname" = "libcorvex.so.${version%.*}" ] || fail "SONAME $soname, expected libcorvex.so.${version%.*}"
# Public calls are exported, the platform layer and the drivers' internals are not.
nm -DC --defined-only "$library" > "$work/symbols.txt"
for name in 'corvex::OpenGraphics(' 'corvex::FlushGLDrawing()' 'corvex::CorvexVersion()' 'typeinfo for corvex::TStream'; do
  grep -qF "$name" "$work/symbols.txt" || fail "$name is not exported"
done
# (net/enet/OrbuEnet.h is public: net/OrbuHost.h declares its peers with it.)
if grep -E ' [A-Za-z] corvex::(glplatform|glvex2d)::' "$work/symbols.txt" | head -5; then
  fail "internal symbols above are exported"
fi

bash "$source/tests/install/check-install.sh" "$build" "$(command -v c++)" "$source"

(cd "$build" && cpack -G DEB > "$work/cpack.log") || { cat "$work/cpack.log"; fail "cpack failed"; }
runtime_deb=$(find "$build" -maxdepth 1 -name "libcorvex_${version}_*.deb")
dev_deb=$(find "$build" -maxdepth 1 -name "libcorvex-dev_${version}_*.deb")
[ -n "$runtime_deb" ] && [ -n "$dev_deb" ] || fail "cpack did not make libcorvex and libcorvex-dev"
runtime_depends=$(dpkg-deb -f "$runtime_deb" Depends)
dev_depends=$(dpkg-deb -f "$dev_deb" Depends)
echo "libcorvex Depends: $runtime_depends"
echo "libcorvex-dev Depends: $dev_depends"
for package in libsdl2-2.0-0 libpng16-16 libjpeg62-turbo libfreetype6 libvorbisfile3 libenet7 libopengl0 libstdc++6; do
  [[ ", $runtime_depends" == *", $package"* ]] || fail "libcorvex does not depend on $package"
done
for package in "libcorvex (= $version)" libgl-dev libopengl-dev pkg-config; do
  [[ ", $dev_depends," == *", $package,"* ]] || fail "libcorvex-dev does not depend on $package"
done

root=$work/root
dpkg -x "$runtime_deb" "$root"
dpkg -x "$dev_deb" "$root"
[ -f "$root/usr/include/corvex/Version.h" ] || fail "the -dev package has no headers"
multiarch_lib=$(dirname "$(find "$root/usr/lib" -name "$soname")")
cmake -S "$source/tests/install/consumer" -B "$work/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$root/usr" \
  > "$work/consumer.log" || { cat "$work/consumer.log"; fail "the consumer does not configure"; }
cmake --build "$work/consumer" --target consumer > "$work/consumer-build.log" 2>&1 ||
  { cat "$work/consumer-build.log"; fail "the consumer does not build against the packages"; }
said=$(LD_LIBRARY_PATH=$multiarch_lib "$work/consumer/consumer" | tr -d '\r')
[ "$said" = "consumer ok" ] || fail "the consumer said: $said"
echo "check-packages: libcorvex.so ($soname) exports the public API; the .deb files install and build a program"
