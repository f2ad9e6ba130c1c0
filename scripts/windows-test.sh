#!/usr/bin/env bash
# The Windows build under Wine, in a fresh prefix (scripts/wine-session.sh), against the Linux
# build of scripts/test.sh: the core tests built for Windows; a recording written under Wine
# read with h5py and h5dump; q390-dat.exe and q390-rec.exe against q390-dat and q390-rec; the
# line driver through Wine's COM1 on the emulated port; the window's title, scan and save; the
# installer and its uninstaller; a port that disappears.
# Builds the packages first when they are not there. One function per group of checks; every
# wait is bounded, and a group that stops short names itself. Ends with "N passed, N failed".
# Arguments name the groups to run (the functions below), all of them by default.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
q390_wine_builds
source "$q390_root/scripts/wine-session.sh"

work=$wine_work
results=$work/results
: >"$results"
check() { # what command...
  if "${@:2}"; then
    echo "ok: $1" | tee -a "$results"
  else
    echo "FAILED: $1" | tee -a "$results" >&2
  fi
}
unzip -q "$build/q390-1.00-win64.zip" -d "$work"
app=$work/q390-1.00
data=$work/data
mkdir "$data"

# The tests built for Windows, on the Qt and runtime DLLs of the package.
windows_tests() {
  local test qt
  qt=$("$q390_root/scripts/windows-qt.sh")
  for test in $(find "$build/tests" -name 'test_*.exe' | sort); do
    check "$(basename "$test") under Wine" windows_test "$test"
  done
}
windows_test() { # program [arguments...]
  WINEPATH="$(sed -n 's/^export WINEPATH="\(.*\)"$/\1/p' "$build/wine-run.sh")" QT_QPA_PLATFORM=offscreen \
    QT_PLUGIN_PATH="$(winpath "$qt/plugins")" wine "$@"
}

# A recording written under Wine by the test rig (tests/wine/RecordingRig.cpp): while it is
# written, HDF5's mark refuses a plain open and h5py reads it in SWMR mode; h5dump once closed.
recording_read_by_linux() {
  local qt file=$data/wine.h5
  qt=$("$q390_root/scripts/windows-qt.sh")
  mkfifo "$work/rig.in"
  windows_test "$build/tests/wine/q390recordingrig.exe" "$(winpath "$file")" <"$work/rig.in" >"$work/rig.out" &
  exec 7>"$work/rig.in"
  timeout 60 bash -c 'until grep -q written "$0"; do sleep 0.2; done' "$work/rig.out"
  check "HDF5's mark refuses a plain open while Wine writes" bash -c '! h5dump -H "$0" >/dev/null 2>&1' "$file"
  check "h5py reads a recording while Wine writes it" /usr/bin/python3 -c 'import h5py, sys
assert list(h5py.File(sys.argv[1], "r", swmr=True)["codes"][:, 0]) == [1, 2, 3]' "$file"
  exec 7>&-
  wait $!
  check "h5dump reads the four sweeps Wine wrote" grep -qx '   (0): 1, 2, 3, 4' <(h5dump -d /sweep "$file")
}

# q390-dat: the same bytes on stdout and stderr and the same status as on Linux, for recorded
# sweeps in both ranges, random records and an empty file.
same_as_linux() { # arguments of q390-dat
  (cd "$data" && "$linux/src/dat/q390-dat" "$@" >"$work/linux.out" 2>"$work/linux.err"; echo $? >>"$work/linux.err")
  (cd "$data" && wine "$app/q390-dat.exe" "$@" >"$work/win.out" 2>"$work/win.err"; echo $? >>"$work/win.err")
  # The console ends Windows' lines with CR LF: the words are what must agree.
  cmp -s "$work/linux.out" "$work/win.out" && cmp -s "$work/linux.err" <(tr -d '\r' <"$work/win.err")
}
dat_as_on_linux() {
  local file command
  "$linux/src/rec/q390-rec" --channels 0-1 --sweeps 2 --quiet -o "$data/uni" 2>/dev/null
  "$linux/src/rec/q390-rec" --channels 5 --range bipolar --sweeps 1 --quiet -o "$data/bi" 2>/dev/null
  /usr/bin/python3 -c 'import random, sys; random.seed(390); sys.stdout.buffer.write(random.randbytes(16384))' >"$data/random.dat"
  : >"$data/empty.dat"
  for file in uni/sweep-00000001-ch0.dat uni/sweep-00000002-ch1.dat bi/sweep-00000001-ch5.dat random.dat empty.dat; do
    for command in csv info "csv --range bipolar"; do
      # shellcheck disable=SC2086
      check "q390-dat.exe $command $file as on Linux" same_as_linux $command "$file"
    done
  done
  (cd "$data" && "$linux/src/dat/q390-dat" csv random.dat -o linux.csv && wine "$app/q390-dat.exe" csv random.dat -o win.csv)
  check "q390-dat.exe csv -o writes the Linux file" cmp "$data/linux.csv" "$data/win.csv"
  # cmd leaves a wildcard to the program, which expands it as Windows programs do.
  (cd "$data" && "$linux/src/dat/q390-dat" info uni/*.dat >"$work/linux.out" \
    && wine cmd /c "$(winpath "$app/q390-dat.exe")" info 'uni\*.dat' | tr -d '\r' | tr '\\' / >"$work/win.out")
  check "q390-dat.exe info uni\\*.dat in cmd reads every file as on Linux" cmp "$work/linux.out" "$work/win.out"
  dat_exports
  dat_outputs
}
# The labelled page, the picture and the session, as sigrok's tool and poppler read them.
dat_exports() {
  (cd "$data" && "$linux/src/dat/q390-dat" sr uni/*.dat -o linux.sr &&
    wine "$app/q390-dat.exe" sr 'uni\sweep-00000001-ch0.dat' 'uni\sweep-00000002-ch1.dat' -o win.sr &&
    wine "$app/q390-dat.exe" pdf 'uni\sweep-00000001-ch0.dat' -o win.pdf && wine "$app/q390-dat.exe" png 'uni\sweep-00000001-ch0.dat' -o win.png)
  check "sigrok-cli reads q390-dat.exe's session as Linux's" cmp <(sigrok-cli -i "$data/win.sr" --show) <(sigrok-cli -i "$data/linux.sr" --show)
  check "q390-dat.exe's page has its title as text" grep -q "sweep-00000001-ch0.dat, channel 0, unipolar" <(pdftotext "$data/win.pdf" -)
  check "q390-dat.exe's picture is a PNG" test "$(head -c 4 "$data/win.png" | od -An -tx1 | tr -d ' ')" = 89504e47
  (cd "$data" && wine "$app/q390-dat.exe" h5 uni -o win.h5 && "$linux/src/dat/q390-dat" dat win.h5 -o win-back)
  check "q390-dat.exe's HDF5 recording gives Linux the folder's file back" \
    cmp "$data/uni/sweep-00000002-ch1.dat" "$data/win-back/sweep-00000002-ch1.dat"
}
# Status and a line of q390-dat.exe's, its output thrown away.
dat_says() { # status words arguments...
  local status=0
  (cd "$data" && wine "$app/q390-dat.exe" "${@:3}") >/dev/null 2>"$work/dat.err" || status=$?
  [ "$status" -eq "$1" ] && if [ -n "$2" ]; then grep -q "$2" "$work/dat.err"; else [ ! -s "$work/dat.err" ]; fi
}
# Names Windows takes for one file: the input under another of its names, names that differ in
# case only; a folder named with a trailing backslash; a device's name.
dat_outputs() {
  local name short
  mkdir -p "$data/X" "$data/d1" "$data/d2"
  cp "$data/uni/sweep-00000001-ch0.dat" "$data/X/"
  short=$(cd "$data" && wine cmd /c dir /x X | tr -d '\r' | awk '$NF == "sweep-00000001-ch0.dat" { print $(NF - 1) }')
  check "the input has an 8.3 name" test "${#short}" -eq 12
  for name in 'X\sweep-00000001-ch0.dat.' 'X\sweep-00000001-ch0.dat ' "X\\$short"; do
    check "q390-dat.exe csv -o '$name' is refused as its input" dat_says 1 "is the data file being read" csv -q 'X\sweep-00000001-ch0.dat' -o "$name"
  done
  check "the input is kept whole" cmp "$data/X/sweep-00000001-ch0.dat" "$data/uni/sweep-00000001-ch0.dat"
  cp "$data/uni/sweep-00000001-ch0.dat" "$data/d1/A.dat"
  cp "$data/uni/sweep-00000002-ch1.dat" "$data/d2/a.dat"
  check "inputs whose names differ in case only are refused for one folder" dat_says 2 "would both be written to" csv -q 'd1\A.dat' 'd2\a.dat' -o 'out\'
  check "nothing was written for them" test ! -e "$data/out"
  check "-o csvout\\ makes the folder" dat_says 0 "" csv -q 'X\sweep-00000001-ch0.dat' -o 'csvout\'
  check "the folder has the output" test -s "$data/csvout/sweep-00000001-ch0.csv"
  check "-o com1 names the device" dat_says 1 "COM1 is a name Windows keeps for a device" csv -q 'd1\A.dat' -o com1
  check "-o com1\\ names the device" dat_says 1 "COM1 is a name Windows keeps for a device" csv -q 'd1\A.dat' -o 'com1\'
}

# q390-rec: the simulator is deterministic from its start, so both record the same files, and
# q390-rec.exe's HDF5 file holds the codes of Linux's data files (unipolar: the records).
rec_read_by_linux() {
  local n file
  (cd "$data" && "$linux/src/rec/q390-rec" --channels 2-3 --sweeps 4 --quiet -o linux-rec)
  (cd "$data" && wine "$app/q390-rec.exe" --channels 2-3 --sweeps 4 --quiet -o win-rec)
  for n in 1 2 3 4; do
    file=sweep-0000000$n-ch$((n % 2 ? 2 : 3)).dat
    check "q390-rec.exe's $file is Linux's" cmp "$data/linux-rec/$file" "$data/win-rec/$file"
    check "q390-dat reads q390-rec.exe's $file" "$linux/src/dat/q390-dat" info --range unipolar "$data/win-rec/$file"
  done
  check "q390-rec.exe's index has a row a sweep" test "$(tail -n +2 "$data/win-rec/index.csv" | wc -l)" -eq 4
  (cd "$data" && wine "$app/q390-rec.exe" --channels 2-3 --sweeps 4 --quiet -o win-rec.h5)
  check "Linux's h5py reads q390-rec.exe's HDF5 file: the codes of Linux's files" /usr/bin/python3 -c '
import h5py, numpy, sys
f = h5py.File(sys.argv[1] + "/win-rec.h5", "r")
assert list(f["channel"]) == [2, 3, 2, 3] and set(f["link"].asstr()[:]) == {"simulator"}
for k in range(4):
    dat = numpy.fromfile(sys.argv[1] + "/linux-rec/sweep-%08d-ch%d.dat" % (k + 1, f["channel"][k]), "<i2")
    assert (f["codes"][k] == dat).all(), k
' "$data"
}

# q390-rec.exe ended from outside. Wine hands SIGINT to the program as Ctrl-C, but SIGTERM,
# SIGHUP and a file-size limit (SIGXFSZ) end its process at once without a word to it, as SIGKILL
# does on Linux: sweep files the index does not name, a row cut short, temporary files. Appended
# to, the index names exactly the folder's files again, numbered without a gap. An index named
# INDEX.CSV is the folder's index (its row cut short dropped, the numbering going on).
index_names_the_files() { # folder
  /usr/bin/python3 - "$1" <<'EOF'
import csv, os, sys
entries = os.listdir(sys.argv[1])
index = [e for e in entries if e.lower() == "index.csv"]
rows = list(csv.DictReader(open(os.path.join(sys.argv[1], index[0]), newline="")))
numbered = [int(r["sweep"]) for r in rows] == list(range(1, len(rows) + 1))
sys.exit(not (len(index) == 1 and numbered and sorted(r["file"] for r in rows if r["file"]) == sorted(set(entries) - set(index))))
EOF
}
rec_ended_from_outside() {
  local how folder pid
  for how in TERM HUP XFSZ; do
    folder=$data/ended-$how
    if [ "$how" = XFSZ ]; then
      (ulimit -f 40 && wine "$app/q390-rec.exe" --continuous --quiet -o "$(winpath "$folder")") 2>/dev/null || true
    else
      LD_PRELOAD=$wine_preload /usr/lib/wine/wine64 "$app/q390-rec.exe" --continuous --quiet -o "$(winpath "$folder")" &
      pid=$!
      timeout 60 bash -c 'until [ "$(cat "$0/index.csv" 2>/dev/null | wc -l)" -ge 20 ]; do sleep 0.2; done' "$folder"
      kill -"$how" "$pid"
      wine_ended "$pid" 20 || true
    fi
    check "q390-rec.exe --append after SIG$how" wine "$app/q390-rec.exe" --append --sweeps 1 --quiet -o "$(winpath "$folder")"
    check "after SIG$how and --append the index names exactly the folder's files" index_names_the_files "$folder"
  done
  folder=$data/upper
  wine "$app/q390-rec.exe" --sweeps 2 --quiet -o "$(winpath "$folder")"
  mv "$folder/index.csv" "$folder/INDEX.CSV"
  printf '3,sweep-0' >>"$folder/INDEX.CSV"
  check "q390-rec.exe --append continues an index named INDEX.CSV" wine "$app/q390-rec.exe" --append --quiet -o "$(winpath "$folder")"
  check "INDEX.CSV names its three sweeps" index_names_the_files "$folder"
}

# The line driver through COM1: one bipolar sweep of channel 6 on the ramp; its n-th sample
# (from 1) is conversion n - 1 of the process, (n × 37 + 6 × 501) mod 4096 - 2048.
rec_com1() { wine "$app/q390-rec.exe" --port COM1 --channel 6 --range bipolar --sweeps 1 --quiet -o - >"$work/com1.csv"; }
com1_sweep() {
  check "q390-rec.exe sweeps through COM1" rec_com1
  check "a sweep through COM1 has the ramp's codes" cmp <(cut -d, -f2,6 "$work/com1.csv" | tail -n +2) \
    <(awk 'BEGIN { for (n = 0; n < 8192; n++) print n + 1 "," (n * 37 + 6 * 501) % 4096 - 2048 }')
}

# The window, started in a folder of its own, on the simulator, and driven as a user does:
# clicks at its buttons' places, answers typed into its dialogs. Each started window is noted,
# so that a group that stops short leaves none behind.
start_window() { # folder [variable=value...] program [arguments...]
  (cd "$1" && exec env "${@:2}" >/dev/null 2>&1) &
  window_pid=$!
  echo "$window_pid" >>"$work/windows"
  window=$(wine_window " Q390 " 60)
}
# Buttons are clicked at their centres, in logical pixels of the window: 存盘 (304, 388), 取盘
# (353, 388), 退出 (544, 388), 打开串口 (48, 396).
click() { # x y
  timeout 10 xdotool mousemove --window "$window" "$1" "$2" click 1
}
answer() { # title keys...: typed into that dialog, once it is there and has the keyboard
  local id
  id=$(wine_window "$1" 20) || return 1
  timeout 10 xdotool windowfocus --sync "$id" || true
  timeout 30 xdotool "${@:2}"
}
gone() { # title [seconds]: that window closed within the seconds (20 when not given)
  local _
  for _ in $(seq $((${2:-20} * 5))); do
    timeout 5 xdotool search --onlyvisible --name "^$1" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  return 1
}
quit() { # the Exit button (退出); the process ends within 20 s
  click 544 388 && wine_ended "$window_pid" 20
}
a_file_in() { # folder: a .dat file there within 20 s
  timeout 20 bash -c 'until compgen -G "$0/*.dat" >/dev/null; do sleep 0.2; done' "$1"
}
# Clicks the button at (x, y) until the dialog of that title is up: a click that comes while
# the dialog before is still closing is not taken.
click_for() { # x y title
  local attempt
  for attempt in 1 2 3; do
    click "$1" "$2"
    wine_window "$3" 7 >/dev/null && return 0
  done
  return 1
}
# The file dialog (打开文件) given a path, typed over what its name field holds once the dialog
# has settled (Wine's fills its folder view after it maps), and again while the dialog stays.
open_in_dialog() { # path
  local attempt
  for attempt in 1 2 3; do
    { answer "打开文件" sleep 1 key --delay 50 Home shift+End type --delay 20 "$1" &&
      answer "打开文件" sleep 0.5 key Return; } || true
    gone "打开文件" 10 && return 0
  done
  return 1
}
save_loaded() { # folder file [variable=value...] program: load the file (取盘), save it (存盘)
  mkdir -p "$1"
  start_window "$1" "${@:3}"
  click_for 353 388 "打开文件"
  open_in_dialog "$2"
  click_for 304 388 "存盘"
  answer "存盘" key Return
  a_file_in "$1"
  quit
}
scanned() { # 500 pixels of the trace's green in the window's place within 20 s
  local green
  for _ in $(seq 20); do
    import -window root "$work/scan.png"
    green=$(convert "$work/scan.png" -crop 620x440+0+0 -fill black +opaque '#00ff00' -fill white -opaque '#00ff00' \
      -format '%[fx:round(mean*w*h)]' info:)
    [ "$green" -ge 500 ] && return 0
    sleep 1
  done
  return 1
}
window_title_and_scan() {
  local title
  title=" Q390      微型数据采集器  $(printf '%27s' '')晨星测控 "
  mkdir "$work/window"
  start_window "$work/window" LD_PRELOAD="$wine_preload" /usr/lib/wine/wine64 "$app/q390.exe"
  check "the window's title is exact on the X server" \
    test "$(xprop -id "$window" -notype _NET_WM_NAME)" = "_NET_WM_NAME = \"$title\""
  check "a scan of the simulator drawn" scanned
  check "the window ends with Exit" quit
}

# The same random records loaded and saved by both builds: the same 16384 bytes.
window_save() {
  save_loaded "$work/save-win" "$(winpath "$data/random.dat")" LD_PRELOAD="$wine_preload" /usr/lib/wine/wine64 "$app/q390.exe"
  save_loaded "$work/save-linux" "$data/random.dat" QT_QPA_PLATFORM=xcb "$linux/q390"
  check "the window saves a loaded file as the Linux build does" cmp "$work/save-win"/*.dat "$work/save-linux"/*.dat
  check "the saved file has 16384 bytes" test "$(stat -c %s "$work/save-win"/*.dat)" -eq 16384
}

# The installer: silently in and out again, leaving the prefix as it was (but for the
# uninstaller's copy of itself in the temporary folder, which Windows removes at the next start).
snapshot() { # name
  (cd "$WINEPREFIX/drive_c" && find . -path ./users/*/Temp -prune -o -print | sort) >"$work/$1.files"
  wine reg export 'HKLM\Software' "$work/$1.reg" /y >/dev/null
  wine reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v Path >"$work/$1.path"
}
plain_text() { # file pattern: every line ends in CR LF, and one matches the pattern
  ! grep -qv $'\r$' "$1" && grep -q "$2" "$1"
}
installer() {
  local key programs entry value
  key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Q390'
  programs="$WINEPREFIX/drive_c/Program Files/Q390"
  snapshot before
  check "the installer runs silently" wine "$build/q390-1.00-setup.exe" /S /PATH
  check "the Start-menu entry" test -f "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Q390 数据采集器.lnk"
  wine reg export "$key" "$work/uninstall.reg" /y >/dev/null
  entry=$(iconv -f UTF-16 -t UTF-8 "$work/uninstall.reg" | tr -d '\r')
  for value in '"DisplayName"="Q390 数据采集器"' '"Publisher"="晨星测控"' '"DisplayVersion"="1.00"' \
    '"DisplayIcon"="C:\\Program Files\\Q390\\q390.exe,0"'; do
    check "the uninstall entry has $value" grep -qxF "$value" <<<"$entry"
  done
  # reg ends its lines with CR LF.
  check "the folder is on the PATH" grep -q ';C:\\Program Files\\Q390$' \
    <(wine reg query 'HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\Environment' /v Path | tr -d '\r')
  check "the installed README.txt tells the programs apart, in CR LF lines" plain_text "$programs/README.txt" '^q390-dat.exe '
  check "the installed LICENSE.txt is the licence" plain_text "$programs/LICENSE.txt" '^License: '
  mkdir "$work/installed"
  check "the installed q390.exe starts" start_window "$work/installed" LD_PRELOAD="$wine_preload" /usr/lib/wine/wine64 "$programs/q390.exe"
  check "the installed q390.exe ends with Exit" quit
  # The uninstaller hands over to its copy in the temporary folder and ends at once.
  check "the uninstaller runs silently" wine "$programs/uninstall.exe" /S
  check "the uninstaller's copy removes the folder" timeout 60 bash -c 'while [ -e "$0" ]; do sleep 0.2; done' "$programs"
  sleep 1
  snapshot after
  check "uninstalling leaves the files as they were" diff "$work/before.files" "$work/after.files"
  check "uninstalling leaves the registry as it was" cmp "$work/before.reg" "$work/after.reg"
  check "uninstalling leaves the PATH as it was" cmp "$work/before.path" "$work/after.path"
}

# The port pulled out during a sweep (the 100000th line operation: a sixth of a sweep): the
# window shows the line-failure box. The link gone proves the port was open and swept. Last,
# as COM1 is gone from then on.
port_pulled_out() {
  mkdir "$work/failure"
  start_window "$work/failure" LD_PRELOAD="$wine_preload" Q390_WINE_PULL_AT=100000 /usr/lib/wine/wine64 "$app/q390.exe"
  click 48 396
  check "a port that disappears gives the line-failure box" wine_window "Q390A 数据采集器" 30
  check "it disappeared in the middle of a sweep" test ! -e "$Q390_WINE_COM"
  import -window root "$work/failure.png"
  cp "$work/failure.png" "$work/scan.png" "$build/" 2>/dev/null || true
}

# The FTDI path through the stand-in driver DLL.
ftdi_standin() {
  source "$q390_root/scripts/windows-test-ftdi.sh"
}

# Each group in a subshell of its own that stops at its first unexpected failure, which then
# counts as a failed check named after the group; the windows it started are ended after it.
groups=(windows_tests recording_read_by_linux dat_as_on_linux rec_read_by_linux rec_ended_from_outside com1_sweep
  window_title_and_scan window_save installer ftdi_standin port_pulled_out)
[ $# -eq 0 ] || groups=("$@")
for group in "${groups[@]}"; do
  set +e
  (set -e; "$group")
  status=$?
  set -e
  [ "$status" -eq 0 ] || echo "FAILED: $group stopped short (status $status)" | tee -a "$results" >&2
  for pid in $(cat "$work/windows" 2>/dev/null); do
    kill -9 "$pid" 2>/dev/null || true
  done
  : >"$work/windows"
done

passed=$(grep -c '^ok: ' "$results" || true)
failed=$(grep -c '^FAILED: ' "$results" || true)
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
