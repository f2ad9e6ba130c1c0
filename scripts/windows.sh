#!/usr/bin/env bash
# Builds the programs for 64-bit Windows and packages them, from a fresh Debian 12 machine
# (as root, installing what is missing): Qt, HDF5 and libzip for MinGW once
# (scripts/windows-qt.sh, scripts/windows-hdf5.sh, scripts/windows-libzip.sh, cached), the
# project into build-win/, then there q390-<version>-win64.zip, a folder that runs where it is
# unpacked, and q390-<version>-setup.exe, the installer (packaging/q390.nsi).
set -euo pipefail
source "$(dirname "$0")/setup.sh"
q390_install "${q390_packages[@]}" "${q390_windows_packages[@]}"
qt=$("$q390_root/scripts/windows-qt.sh")
hdf5=$("$q390_root/scripts/windows-hdf5.sh")
libzip=$("$q390_root/scripts/windows-libzip.sh")
build="$q390_root/build-win"
launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# HDF5's libraries found again each time (-U): its prefix changes whenever its script does.
cmake -S "$q390_root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQ390_BENCH=OFF "${launcher[@]}" \
  -DCMAKE_TOOLCHAIN_FILE="$q390_root/cmake/mingw-w64.cmake" -DCMAKE_PREFIX_PATH="$qt" \
  -U 'HDF5_*' -DHDF5_ROOT="$hdf5" -DQ390_LIBZIP="$libzip" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >/dev/null
cmake --build "$build" -j"$(nproc)"

version=$(sed -n 's/^project(q390 VERSION \([0-9.]*\).*/\1/p' "$q390_root/CMakeLists.txt")
name="q390-$version"
stage="$build/$name"
rm -rf "$stage"
mkdir -p "$stage/platforms" "$stage/styles" "$stage/translations"
for program in q390 q390-dat q390-rec; do
  cp "$(find "$build" -name "$program.exe" -not -path "$stage/*" -print -quit)" "$stage/"
done
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt"/plugins/styles/*.dll "$stage/styles/"
# What the programs are and the licence, as Windows' own editors take plain text: CR LF, and
# UTF-8 marked as such for the Chinese in them.
homepage=$(sed -n 's/^set(Q390_HOMEPAGE "\([^"]*\)".*/\1/p' "$q390_root/data/CMakeLists.txt")
{ printf '\357\273\277'; sed "s|@VERSION@|$version|g; s|@HOMEPAGE@|$homepage|g; s/\$/\r/" "$q390_root/packaging/README.txt"; } >"$stage/README.txt"
{ printf '\357\273\277'; sed 's/$/\r/' "$q390_root/data/copyright"; } >"$stage/LICENSE.txt"
# Qt finds its plugins and the Chinese texts of its dialogs beside the programs.
printf '[Paths]\nPrefix = .\nPlugins = .\nTranslations = translations\n' >"$stage/qt.conf"
cp /usr/share/qt6/translations/qtbase_zh_CN.qm "$stage/translations/"

# Every DLL the programs and plugins import that is not Windows' own: Qt's, HDF5's and the
# MinGW runtime's, and theirs in turn.
mingw_dirs=("$qt/bin" "$hdf5/bin" "$(dirname "$(x86_64-w64-mingw32-g++-posix -print-file-name=libstdc++-6.dll)")"
  /usr/x86_64-w64-mingw32/lib)
pending=("$stage"/*.exe "$stage"/*/*.dll)
while [ ${#pending[@]} -gt 0 ]; do
  file=${pending[0]}
  pending=("${pending[@]:1}")
  for dll in $(x86_64-w64-mingw32-objdump -p "$file" | sed -n 's/^\s*DLL Name: //p'); do
    [ -e "$stage/$dll" ] && continue
    for dir in "${mingw_dirs[@]}"; do
      if [ -f "$dir/$dll" ]; then
        cp "$dir/$dll" "$stage/"
        pending+=("$stage/$dll")
        break
      fi
    done
  done
done
x86_64-w64-mingw32-strip --strip-unneeded "$stage"/*.exe "$stage"/*.dll "$stage"/*/*.dll

rm -f "$build/$name-win64.zip"
(cd "$build" && zip -qr -X "$name-win64.zip" "$name")

# What the installer puts in and its uninstaller takes out again, file by file, so that
# uninstalling leaves anything else in the folder alone.
(
  cd "$stage"
  while read -r dir; do
    rel=${dir#.}
    rel=${rel#/}
    echo "SetOutPath \"\$INSTDIR${rel:+\\${rel//\//\\}}\""
    find "$dir" -maxdepth 1 -type f | sort | sed "s|^\./|File \"$stage/|; s|\$|\"|"
  done < <(find . -type d | sort) >"$build/files.nsh"
  { find . -type f | sort | sed 's|^\./|Delete "$INSTDIR/|; s|$|"|'
    find . -mindepth 1 -type d | sort -r | sed 's|^\./|RMDir "$INSTDIR/|; s|$|"|'
  } | tr / '\\' >"$build/unfiles.nsh"
)
makensis -V2 -INPUTCHARSET UTF8 -DVERSION="$version" -DFILES="$build" -DOUTFILE="$build/$name-setup.exe" \
  "$q390_root/packaging/q390.nsi"
ls -l "$build/$name-win64.zip" "$build/$name-setup.exe"
