#!/usr/bin/env bash
# Builds libzip for 64-bit Windows, static, with the zlib it compresses with, from Debian's own
# libzip and zlib sources (the versions the Linux build uses), once: the result is cached
# outside the tree in a folder named by both versions, the compiler's and a digest of this
# script and the toolchain file, and reused while they stay the same. Prints the folder (a
# CMake prefix holding libzip's package configuration).
set -euo pipefail
source "$(dirname "$0")/setup.sh"
root=$q390_root
cache=${Q390_CACHE:-/var/cache/q390}
zip_version=$(dpkg-query -W -f='${source:Version}' libzip-dev)
zlib_version=$(dpkg-query -W -f='${source:Version}' zlib1g-dev)
compiler=$(x86_64-w64-mingw32-g++-posix -dumpfullversion)
digest=$(cat "$0" "$root/cmake/mingw-w64.cmake" | sha256sum | cut -c1-12)
prefix="$cache/libzip-${zip_version//[^A-Za-z0-9.]/_}-zlib-${zlib_version//[^A-Za-z0-9.]/_}-mingw${compiler}-$digest"
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

work="$cache/libzip-build-$digest"
rm -rf "$work" "$prefix"
mkdir -p "$work"
(cd "$work" && q390_debian_source zlib "$zlib_version" && q390_debian_source libzip "$zip_version") >&2
zlib_src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'zlib-*' -print -quit)
zip_src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libzip-*' -print -quit)
common=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_BUILD_TYPE=Release
  -DCMAKE_INSTALL_PREFIX="$prefix")
# Only the static zlib, so that nothing but Windows' own DLLs is needed beside the programs
# (Debian's source has no resource file for the DLL either).
cmake -S "$zlib_src" -B "$work/zlib" "${common[@]}" >&2
cmake --build "$work/zlib" --target zlibstatic -j"$(nproc)" >&2
mkdir -p "$prefix/include" "$prefix/lib"
cp "$zlib_src/zlib.h" "$work/zlib/zconf.h" "$prefix/include/"
cp "$work/zlib/libzlibstatic.a" "$prefix/lib/libz.a"
# Deflate alone: sessions need no other method, no encryption and none of the tools.
cmake -S "$zip_src" -B "$work/libzip" "${common[@]}" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_FIND_ROOT_PATH="$prefix" \
  -DZLIB_LIBRARY="$prefix/lib/libz.a" -DZLIB_INCLUDE_DIR="$prefix/include" \
  -DBUILD_SHARED_LIBS=OFF -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF -DENABLE_COMMONCRYPTO=OFF \
  -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF -DENABLE_WINDOWS_CRYPTO=OFF \
  -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF >&2
cmake --build "$work/libzip" -j"$(nproc)" >&2
cmake --install "$work/libzip" >&2
touch "$prefix/.complete"
rm -rf "$work"
echo "$prefix"
