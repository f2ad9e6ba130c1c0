#!/usr/bin/env bash
# Checks that the libraries' dependencies point down only, from the #include lines of src/:
# inside the core, system <- samples <- converter, drawing, recording (the one place for libhdf5);
# devices on the core; the window on
# devices and core, its handlers on no widget and on no Qt version of a seam; the tools on
# core (and devices) alone, libzip in q390-dat's sessions only; the core's tests on the core
# and the core's test support alone, so that they link no device or window library; the
# devices' tests on devices, core and the core's test support alone, so that they link no
# window library. A Qt header counts by the module whose folder
# holds it. Prints each forbidden include and fails if there is one. Run from anywhere; takes
# the tree as $1.
set -euo pipefail
root=${1:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
qt=$(dirname "$(find /usr/include -path '*/qt6/QtCore/qglobal.h' -print -quit)")
qt=$(dirname "$qt")

# The Qt module (or library) a system header belongs to, "" for any other.
module() {
  case $1 in
    Qt*/*) echo "${1%%/*}" ;;
    ftdi.h) echo libftdi ;;
    libusb*) echo libusb ;;
    cups/*) echo libcups ;;
    zip.h|zipconf.h) echo libzip ;;
    hdf5*.h|H5*.h) echo libhdf5 ;;
    *) for m in QtWidgets QtSerialPort QtPrintSupport QtTest; do
         [ -e "$qt/$m/$1" ] && { echo "$m"; return; }
       done
       case $1 in QCoreApplication|QEventLoop|QTimer|QSocketNotifier) echo event-loop ;; esac ;;
  esac
}

# For each folder of src/: the project folders it may include, then the modules it may not.
rule() {
  case $1 in
    core/system/*)     echo "core/system|QtWidgets QtSerialPort QtPrintSupport libftdi libusb libcups libhdf5 event-loop libzip" ;;
    core/samples/*)    echo "core/system core/samples|QtWidgets QtSerialPort QtPrintSupport libftdi libusb libcups libhdf5 event-loop libzip" ;;
    core/converter/*)  echo "core/system core/samples core/converter|QtWidgets QtSerialPort QtPrintSupport libftdi libusb libcups libhdf5 event-loop libzip" ;;
    core/drawing/*)    echo "core/system core/samples core/drawing|QtWidgets QtSerialPort QtPrintSupport libftdi libusb libcups libhdf5 event-loop libzip" ;;
    core/recording/*)  echo "core/system core/samples core/recording|QtWidgets QtSerialPort QtPrintSupport libftdi libusb libcups event-loop libzip" ;;
    devices/*)         echo "core devices|QtWidgets QtPrintSupport libhdf5 libzip" ;;
    window/handlers/*) echo "core devices window/handlers window/toolkit/WindowSystem.h window/toolkit/PrinterSurface.h|QtWidgets QtPrintSupport libhdf5" ;;
    window/toolkit/*)  echo "core devices window/toolkit|libhdf5" ;;
    window/*)          echo "core devices window|libhdf5" ;;
    dat/*)             echo "core dat|QtWidgets QtSerialPort QtPrintSupport libftdi libusb libcups libhdf5" ;;
    rec/*)             echo "core devices rec|QtWidgets QtPrintSupport libhdf5 libzip" ;;
    python/*)          echo "core devices python|QtWidgets QtPrintSupport libhdf5 libzip" ;;
    main.cpp)          echo "window|libhdf5" ;;
    *)                 echo "|" ;;
  esac
}

# The same for the tests: the file (under tests/), the project folders it may include, then the
# modules it may not. The core's tests on Windows open the system's ports as well.
core_support="support/CoreDoubles.h support/Frames.h support/Ramp.h support/RunTests.h"
test_rule() {
  case $1 in
    core/*Win.cpp)                  echo "core devices $core_support|QtWidgets QtPrintSupport" ;;
    core/*|support/Core*|support/Frames.h|support/Ramp.h|support/RunTests.h)
                                    echo "core $core_support|QtWidgets QtSerialPort QtPrintSupport QtTest libftdi libusb libcups" ;;
    devices/*)                      echo "core devices $core_support|QtWidgets QtPrintSupport QtTest libcups" ;;
    *)                              echo "" ;;
  esac
}

failed=0
# Checks one file's includes: its name as shown, then the allowed folders and the forbidden modules.
check() {
  local file=$1 shown=$2 allowed=$3 forbidden=$4 line inc m ok a f
  while IFS= read -r line; do
    if [[ $line =~ ^#include\ \"([^\"]+)\" ]]; then
      inc=${BASH_REMATCH[1]}
      [ -e "$root/src/$inc" ] || [ -e "$root/tests/$inc" ] || continue # beside the file, not a library's
      ok=0
      for a in $allowed; do [[ $inc == "$a" || $inc == "$a"/* ]] && ok=1; done
    elif [[ $line =~ ^#include\ \<([^\>]+)\> ]]; then
      m=$(module "${BASH_REMATCH[1]}")
      ok=1
      for f in $forbidden; do [ "$m" = "$f" ] && ok=0; done
    else
      continue
    fi
    if [ "$ok" -eq 0 ]; then
      echo "$shown: $line is not allowed here" >&2
      failed=1
    fi
  done < <(grep -E '^#include' "$file")
}

while IFS= read -r file; do
  rel=${file#"$root/src/"}
  IFS='|' read -r allowed forbidden <<<"$(rule "$rel")"
  check "$file" "src/$rel" "$allowed" "$forbidden"
done < <(find "$root/src" -name '*.h' -o -name '*.cpp' | sort)
while IFS= read -r file; do
  rel=${file#"$root/tests/"}
  rules=$(test_rule "$rel")
  [ -n "$rules" ] || continue
  IFS='|' read -r allowed forbidden <<<"$rules"
  check "$file" "tests/$rel" "$allowed" "$forbidden"
done < <(find "$root/tests/core" "$root/tests/devices" "$root/tests/support" -name '*.h' -o -name '*.cpp' -o -name '*.c' | sort)
[ "$failed" -eq 0 ] && echo "Includes checked: every dependency points down."
exit "$failed"
