#!/usr/bin/env bash
# Checks the Windows build files with the MinGW-w64 tools, without a Windows build: the
# resource script compiles and its version strings read back as written (a compiler that
# misreads the Chinese texts still succeeds, so the exit status alone proves nothing), and
# the Windows line driver and the printer surface's Windows side (Qt's printer, not CUPS) compile,
# the toolkit's Linux headers standing in for its own.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export LC_ALL=C.UTF-8
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The icon is painted at build time; a one-entry stand-in serves here, where only the strings count.
printf '\0\0\1\0\1\0\20\20\0\0\1\0\40\0\10\0\0\0\26\0\0\0\211PNG\r\n\32\n' >"$out/q390.ico"
x86_64-w64-mingw32-windres -I"$out" -i "$root/src/window/q390.rc" -O res -o "$out/q390.res"
x86_64-w64-mingw32-windres -i "$out/q390.res" -O rc -o "$out/compiled.rc"

failed=0
check() { # what expected actual
  if [ "$2" = "$3" ]; then
    echo "ok: $1 = $3"
  else
    echo "FAILED: $1 is \"$3\", expected \"$2\"" >&2
    failed=1
  fi
}
# The compiled value of a version string, its \xHHHH escapes turned back into text.
value() {
  local raw
  raw=$(sed -n "s/^ *VALUE \"$1\", L\?\"\(.*\)\"\$/\1/p" "$out/compiled.rc")
  printf '%b' "${raw//\\x/\\u}"
}
check CompanyName "晨星测控" "$(value CompanyName)"
check FileDescription "Q390 微型数据采集器" "$(value FileDescription)"
check FileVersion "1.00" "$(value FileVersion)"
check ProductVersion "1.00" "$(value ProductVersion)"
check ProductName "Q390" "$(value ProductName)"
check Translation "0x804, 1200" "$(sed -n 's/^ *VALUE "Translation", \(.*\)$/\1/p' "$out/compiled.rc")"

qt=$(dirname "$(find /usr/include -path '*/qt6/QtCore/qglobal.h' -print -quit)")
x86_64-w64-mingw32-g++ -std=c++20 -Wall -Wextra -Werror -c "$root/src/devices/LineDriverWin.cpp" \
  -I"$root/src" -I"$(dirname "$qt")" -I"$qt" -o "$out/LineDriverWin.o"
for call in EscapeCommFunction GetCommModemStatus; do
  if grep -q "U __imp_$call\$" <<<"$(x86_64-w64-mingw32-nm "$out/LineDriverWin.o")"; then
    echo "ok: the line driver calls $call"
  else
    echo "FAILED: the line driver does not call $call" >&2
    failed=1
  fi
done

# The Linux headers' export attributes differ from a Windows build's: that alone is let through.
for source in "$root"/src/window/toolkit/QtPrinterSurface.cpp "$root"/src/window/toolkit/*Win.cpp; do
  x86_64-w64-mingw32-g++ -std=c++20 -Wall -Wextra -Werror -Wno-attributes -fsyntax-only "$source" \
    -I"$root/src" -I"$(dirname "$qt")" -I"$qt" -I"$(dirname "$qt")/QtGui" -I"$(dirname "$qt")/QtPrintSupport"
  echo "ok: $(basename "$source") compiles for Windows"
done

# The other Windows twins of the system layer (whole files, file starts, errors, file
# identities), the devices (ports, port list, FTDI chips through D2XX), the recorder's (stop,
# index, stream writes and standard streams),
# and the FTDI bit-bang driver they share with Linux, against the host's Qt headers as above.
for source in "$root"/src/core/system/*Win.cpp "$root"/src/devices/*Win.cpp "$root"/src/devices/FtdiBitBang.cpp \
  "$root"/src/rec/*Win.cpp; do
  x86_64-w64-mingw32-g++-posix -std=c++20 -Wall -Wextra -Werror -Wno-attributes -fsyntax-only "$source" \
    -I"$root/src" -I"$(dirname "$qt")" -I"$qt" -I"$(dirname "$qt")/QtGui"
  echo "ok: $(basename "$source") compiles for Windows"
done

[ "$failed" -eq 0 ] || exit 1
echo "Windows build files checked."
