#!/usr/bin/env bash
# Builds HDF5 for 64-bit Windows from Debian's own hdf5 source (the version of the host's
# libhdf5-dev), with zlib for deflate from Debian's own zlib source (Debian has no zlib for
# MinGW), once: the result is cached outside the tree in a folder named by HDF5's version, the
# compiler's version and a digest of this script, the toolchain file and zlib's version, and
# reused while they stay the same. Prints the folder (the CMake prefix).
#
# As on Linux: thread-safe, the 1.8 API names by default, deflate but no szip. Only the C and
# the high-level libraries, as DLLs (HDF5 is thread-safe on Windows only as a DLL, which
# handles its threads' ends): libhdf5.dll, with zlib inside, and libhdf5_hl.dll. The programs
# HDF5 builds to describe the target (H5detect, H5make_libsettings and the configure checks)
# run under Wine. About 6 minutes on two cores.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
cache=${Q390_CACHE:-/var/cache/q390}
version=$(dpkg-query -W -f='${Version}' libhdf5-dev)
zlib=$(dpkg-query -W -f='${Version}' zlib1g)
compiler=$(x86_64-w64-mingw32-gcc-posix -dumpfullversion)
digest=$({ cat "$0" "$q390_root/cmake/mingw-w64.cmake"; echo "$zlib"; } | sha256sum | cut -c1-12)
prefix="$cache/hdf5-${version//[^A-Za-z0-9.]/_}-mingw${compiler}-$digest"
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

start=$SECONDS
work="$cache/hdf5-build-$digest"
rm -rf "$work" "$prefix"
mkdir -p "$work"
(cd "$work" && q390_debian_source hdf5 "$version" && q390_debian_source zlib "$zlib") >&2
src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'hdf5-*' -print -quit)
zsrc=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'zlib-*' -print -quit)
# MinGW has unistd.h but no sys/wait.h, which only the tests' child processes need (HDF5
# mended this after 1.10.8).
sed -i 's|^#include <sys/wait.h>$|#ifndef H5_HAVE_WIN32_API\n&\n#endif|' "$src/src/H5private.h"

# zlib's static library, which goes into hdf5.dll (Debian's zlib source has no Windows
# resource file, which its DLL needs); its configured zconf.h back beside zlib.h.
cmake -S "$zsrc" -B "$work/zlib" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$q390_root/cmake/mingw-w64.cmake" \
  -DCMAKE_BUILD_TYPE=Release >&2
cmake --build "$work/zlib" --target zlibstatic -j"$(nproc)" >&2
cp "$work/zlib/zconf.h" "$zsrc/"

# A fresh Wine prefix of the build's own, its server kept up for the many short runs, and its
# services started here, so that they do not hold the build's output open.
runtime=$(dirname "$(x86_64-w64-mingw32-gcc-posix -print-file-name=libwinpthread-1.dll)")
cat >"$work/wine" <<WINE
#!/bin/sh
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEPATH="Z:$runtime"
exec /usr/lib/wine/wine64 "\$@"
WINE
chmod +x "$work/wine"
mkdir "$work/prefix"
WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -p
trap 'WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
"$work/wine" wineboot -i >/dev/null 2>&1

# From inside the build folder: a configure check's program writes its answer to the folder it
# runs in, which is CMake's own.
mkdir "$work/build"
cd "$work/build"
cmake -S "$src" -B . -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$q390_root/cmake/mingw-w64.cmake" -DCMAKE_CROSSCOMPILING_EMULATOR="$work/wine" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DBUILD_SHARED_LIBS=ON -DBUILD_STATIC_LIBS=OFF -DONLY_SHARED_LIBS=ON -DBUILD_TESTING=OFF \
  -DHDF5_BUILD_HL_LIB=ON -DHDF5_BUILD_CPP_LIB=OFF -DHDF5_BUILD_FORTRAN=OFF -DHDF5_BUILD_JAVA=OFF \
  -DHDF5_BUILD_TOOLS=OFF -DHDF5_BUILD_UTILS=OFF -DHDF5_BUILD_EXAMPLES=OFF -DHDF5_NO_PACKAGES=ON \
  -DHDF5_ENABLE_THREADSAFE=ON -DALLOW_UNSUPPORTED=ON -DDEFAULT_API_VERSION=v18 \
  -DHDF5_ENABLE_Z_LIB_SUPPORT=ON -DZLIB_INCLUDE_DIR="$zsrc" -DZLIB_LIBRARY="$work/zlib/libzlibstatic.a" \
  -DHDF5_ENABLE_SZIP_SUPPORT=OFF >&2
cmake --build . -j"$(nproc)" >&2
cmake --install . >&2
WINEPREFIX="$work/prefix" /usr/lib/wine/wineserver -k
touch "$prefix/.complete"
cd /
rm -rf "$work"
echo "HDF5 for Windows built in $(((SECONDS - start + 30) / 60)) min" >&2
echo "$prefix"
