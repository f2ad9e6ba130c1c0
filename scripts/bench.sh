#!/usr/bin/env bash
# Sets up, builds and runs the benchmark: once offscreen, once on an X server (Xvfb); then the
# Python module's figures (bench/python/bench.py); last, the Windows build's under Wine beside the
# Linux build's (bench/wine.sh), when the Windows packages are built (scripts/windows.sh).
set -euo pipefail
source "$(dirname "$0")/setup.sh"
q390_install "${q390_packages[@]}" xvfb xauth
dir="$q390_root/build-bench"
cmake -S "$q390_root" -B "$dir" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" --target q390bench q390corebench -j"$(nproc)"

bench="$dir/bench/q390bench"
export LC_ALL=C.UTF-8
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
QT_QPA_PLATFORM=offscreen "$bench"
echo
xvfb-run -a -s "-screen 0 1280x1024x24" env QT_QPA_PLATFORM=xcb "$bench"
echo
# The Python module, with no display.
env -u DISPLAY -u QT_QPA_PLATFORM PYTHONPATH="$dir/src/python:$dir/bench/python" /usr/bin/python3 "$q390_root/bench/python/bench.py"
if [ -f "$q390_root/build-win/q390-1.00-win64.zip" ]; then
  echo
  "$q390_root/bench/wine.sh"
fi
