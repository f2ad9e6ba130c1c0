# The FTDI path of the Windows build, sourced by scripts/windows-test.sh (its check, wine, window
# and click helpers): a copy of the programs with the stand-in ftd2xx.dll of tests/wine beside
# them (the emulated FT232R, COM port 1, the ramp of converter codes on its pins), and the same
# COM1 without it, which is then the emulated port's modem lines.
ftdi_app=$work/q390-ftdi
cp -r "$app" "$ftdi_app"
cp "$build/tests/wine/ftd2xx/ftd2xx.dll" "$ftdi_app/"
ftdi_state=$work/ftdi.state
export Q390_FTDI_STATE=$(winpath "$ftdi_state")
ftdi_has() { # text...: the chip's state, as the stand-in last wrote it, holds each line
  local line
  for line in "$@"; do grep -qxF "$line" "$ftdi_state" || return 1; done
}
ramp_sweep() { # channel unipolar|bipolar: "index,code" of one sweep from the process's first conversion
  awk -v c="$1" -v r="$2" 'BEGIN { for (n = 0; n < 8192; n++) print n + 1 "," (n * 37 + c * 501) % 4096 - (r == "bipolar" ? 2048 : 0) }'
}
ftdi_comes_to() { # text...: the chip's state holds each line within 20 s
  local _
  for _ in $(seq 100); do
    ftdi_has "$@" && return 0
    sleep 0.2
  done
  return 1
}
ftdi_codes() { # program port channel range: one sweep has the ramp's codes
  wine "$1" --port "$2" --channel "$3" --range "$4" --sweeps 1 --quiet -o - >"$work/ftdi.csv" &&
    cmp -s <(cut -d, -f2,6 "$work/ftdi.csv" | tail -n +2) <(ramp_sweep "$3" "$4")
}
ftdi_link() { # program link: q390-rec's index names the link a sweep took
  rm -rf "$work/ftdi-rec"
  wine "$1" --port COM1 --sweeps 1 --quiet -o "$(winpath "$work/ftdi-rec")" && grep -q ",$2," "$work/ftdi-rec/index.csv"
}
ftdi_lost() { # Q390_FTDI_FAIL value: a sweep fails and q390-rec says so
  ! Q390_FTDI_FAIL=$1 wine "$ftdi_app/q390-rec.exe" --port COM1 --sweeps 1 --reconnect-timeout 0 --quiet -o - \
    >/dev/null 2>"$work/ftdi.err" && grep -q "sweep 1 lost" "$work/ftdi.err"
}

for row in "6 bipolar" "3 unipolar" "0 bipolar" "7 unipolar"; do
  # shellcheck disable=SC2086
  check "COM1 on the stand-in D2XX chip: channel ${row% *} ${row#* } has the ramp's codes" ftdi_codes "$ftdi_app/q390-rec.exe" COM1 $row
  check "  and the chip is back in UART mode with its latency timer" ftdi_has "open 0" "bitmode 0" "latency 16"
done
check "ftdi:Q390EMU1 (the chip's serial number) has the ramp's codes" ftdi_codes "$ftdi_app/q390-rec.exe" ftdi:Q390EMU1 3 unipolar
check "ftdi:FT232R USB UART (its description) has the ramp's codes" ftdi_codes "$ftdi_app/q390-rec.exe" "ftdi:FT232R USB UART" 5 bipolar
check "q390-rec.exe's link column: ftdi-bitbang with the DLL" ftdi_link "$ftdi_app/q390-rec.exe" ftdi-bitbang
check "q390-rec.exe's link column: modem-lines on the same COM1 without it" ftdi_link "$app/q390-rec.exe" modem-lines
check "the chip pulled out mid-sweep loses the sweep" ftdi_lost pull:50
check "the chip no longer answering mid-sweep loses the sweep" ftdi_lost silent:50

# The window opens the chip behind COM1 in bit-bang mode, gives it back at Exit, and shows the
# line-failure box when it is pulled out.
mkdir "$work/ftdi-window"
start_window "$work/ftdi-window" LD_PRELOAD="$wine_preload" /usr/lib/wine/wine64 "$ftdi_app/q390.exe"
click 48 396
check "the window opens COM1's chip in bit-bang mode with a 1 ms latency timer" ftdi_comes_to "open 1" "bitmode 4" "latency 1"
quit
check "Exit gives the chip back in UART mode with its latency timer" ftdi_comes_to "open 0" "bitmode 0" "latency 16"
start_window "$work/ftdi-window" LD_PRELOAD="$wine_preload" Q390_FTDI_FAIL=pull:200 /usr/lib/wine/wine64 "$ftdi_app/q390.exe"
click 48 396
check "the chip pulled out gives the line-failure box" wine_window "Q390A 数据采集器" 30
answer "Q390A 数据采集器" key Return
quit
