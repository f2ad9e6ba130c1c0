#!/usr/bin/env bash
# The Windows build under Wine beside the Linux build, in one run on one machine (figures, not
# checks): q390-rec.exe's sweeps of the simulator a second against q390-rec's (goal ≥ 0.8 ×,
# what Wine costs), and the window's start-up to the first grid on the X server, q390.exe under
# Wine and q390 on the same Xvfb. Builds the Windows packages first when they are not there.
set -euo pipefail
source "$(dirname "$0")/../scripts/setup.sh"
q390_wine_builds
source "$q390_root/scripts/wine-session.sh"
unzip -q "$build/q390-1.00-win64.zip" -d "$wine_work"
app=$wine_work/q390-1.00
cd "$wine_work"

rounds=5
few=50
many=1000
goal=0.8

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
now() { date +%s%N; }

# Sweeps a second from the few-th sweep to the many-th, so that neither the start of the process
# (Wine's is seconds) nor its end counts: two recordings, the difference of their times.
rec_pace() { # program...
  local start short long
  rm -rf rec
  start=$(now)
  "$@" --channel 0 --sweeps "$few" --quiet -o rec
  short=$(($(now) - start))
  rm -rf rec
  start=$(now)
  "$@" --channel 0 --sweeps "$many" --quiet -o rec
  long=$(($(now) - start))
  rm -rf rec
  awk -v n=$((many - few)) -v ns=$((long - short)) 'BEGIN { printf "%.1f\n", n / (ns / 1e9) }'
}
for _ in $(seq "$rounds"); do
  rec_pace "$linux/src/rec/q390-rec" >>linux.pace
  rec_pace wine "$app/q390-rec.exe" >>wine.pace
done
linux_pace=$(median <linux.pace)
wine_pace=$(median <wine.pace)
ratio=$(awk -v w="$wine_pace" -v l="$linux_pace" 'BEGIN { printf "%.2f", w / l }')
verdict=$(awk -v r="$ratio" -v g="$goal" 'BEGIN { print (r >= g ? "met" : "NOT MET") }')
echo "q390-rec sweeps of the simulator a second (median of $rounds, sweeps $few to $many): Linux $linux_pace," \
  "Windows under Wine $wine_pace: $ratio ×   goal ≥ $goal ×   $verdict"

# bench/first_grid.py: milliseconds to the first grid, and a reading's milliseconds.
first_grid() { /usr/bin/python3 "$q390_root/bench/first_grid.py" "$@"; }
for _ in $(seq "$rounds"); do
  first_grid env QT_QPA_PLATFORM=xcb "$linux/q390" >>linux.start
  first_grid env LD_PRELOAD="$wine_preload" /usr/lib/wine/wine64 "$app/q390.exe" >>wine.start
done
echo "Start-up to the first grid on the X server (median of $rounds): Linux $(cut -d' ' -f1 linux.start | median) ms," \
  "Windows under Wine $(cut -d' ' -f1 wine.start | median) ms (one reading of the screen took" \
  "$(cut -d' ' -f2 linux.start wine.start | median) ms)"
