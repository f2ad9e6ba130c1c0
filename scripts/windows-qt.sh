#!/usr/bin/env bash
# Builds Qt for 64-bit Windows from Debian's own qt6-base source (the same version as the
# host's Qt, whose moc, rcc and uic serve as its tools), once: the result is cached outside the
# tree in a folder named by Qt's version, the compiler's version and a digest of this script and
# the toolchain file, and reused while they stay the same. Prints the folder (the CMake prefix).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cache=${Q390_CACHE:-/var/cache/q390}
version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
compiler=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
digest=$(cat "$0" "$root/cmake/mingw-w64.cmake" | sha256sum | cut -c1-12)
prefix="$cache/qt-${version//[^A-Za-z0-9.]/_}-mingw${compiler}-$digest"
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work="$cache/qt-build-$digest"
rm -rf "$work" "$prefix"
mkdir -p "$work"
(
  cd "$work"
  if [ ! -f /etc/apt/sources.list.d/q390-deb-src.sources ] && ! apt-get source --print-uris qt6-base >/dev/null 2>&1; then
    # The source of the Debian archive the machine already uses.
    sed 's/^Types: deb$/Types: deb-src/' /etc/apt/sources.list.d/debian.sources \
      >/etc/apt/sources.list.d/q390-deb-src.sources
    apt-get update -qq
  fi
  apt-get source -qq "qt6-base=$version"
) >&2
src=$(find "$work" -maxdepth 1 -type d -name 'qt6-base-*' -print -quit)
cmake -S "$src" -B "$work/build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF \
  -DFEATURE_xml=OFF -DFEATURE_testlib=OFF -DFEATURE_tabletevent=OFF >&2
cmake --build "$work/build" -j"$(nproc)" >&2
cmake --install "$work/build" >&2
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
