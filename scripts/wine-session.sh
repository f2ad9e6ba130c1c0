# A Wine session for the Windows tests and the benchmark, sourced: a fresh 64-bit prefix in a
# folder of its own, an X server (Xvfb) for the window, Debian's Noto CJK fonts in the prefix's
# Fonts folder, and COM1 on a pseudo-terminal that the emulated port of tests/wine stands
# behind (never the machine's own serial devices: the tests open COM1 only). Every wait is
# bounded; everything, Wine's server included, ends with the shell that sourced it. Needs
# $linux, the Linux build with the emulated port.

wine_work=$(mktemp -d)
wine_stop() {
  WINEPREFIX=$wine_work/prefix timeout 20 /usr/lib/wine/wineserver -k 2>/dev/null || true
  kill "$wine_pty_pid" "$wine_xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$wine_work"
}
trap wine_stop EXIT

# Until the file has something in it, for at most $2 seconds.
wine_file_ready() { # file seconds
  timeout "$2" bash -c 'until [ -s "$0" ]; do sleep 0.1; done' "$1"
}

Xvfb -displayfd 5 -screen 0 1280x1024x24 -nolisten tcp 5>"$wine_work/display" 2>/dev/null &
wine_xvfb_pid=$!
wine_file_ready "$wine_work/display" 30 || { echo "FAILED: Xvfb did not start" >&2; exit 1; }
export DISPLAY=:$(cat "$wine_work/display")

# The pseudo-terminal lives while this process holds its master side.
/usr/bin/python3 -c 'import os, sys, time
master, slave = os.openpty()
print(os.ttyname(slave), flush=True)
os.close(slave)
sys.stdout.close()
time.sleep(1e9)' >"$wine_work/pty" &
wine_pty_pid=$!
wine_file_ready "$wine_work/pty" 30 || { echo "FAILED: no pseudo-terminal for COM1" >&2; exit 1; }

export WINEPREFIX=$wine_work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export Q390_WINE_COM=$WINEPREFIX/dosdevices/com1
wine_preload=$linux/tests/devices/libq390emuport.so:$linux/tests/wine/libq390winecom.so
# A Windows program under Wine with the emulated port, ended after $wine_timeout seconds.
wine_timeout=120
wine() { LD_PRELOAD=$wine_preload timeout -k 5 "$wine_timeout" /usr/lib/wine/wine64 "$@"; }
# A Unix path as the programs under Wine name it.
winpath() { local p=${1//\//\\}; echo "Z:$p"; }

wine wineboot -i >/dev/null 2>&1 || { echo "FAILED: the Wine prefix was not made" >&2; exit 1; }
ln -s /usr/share/fonts/opentype/noto/NotoSansCJK-*.ttc "$WINEPREFIX/drive_c/windows/Fonts/"
wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /d "$(cat "$wine_work/pty")" /f >/dev/null
# The port and the fonts are taken up when the session starts again; the server keeps running
# from then on, with the emulated port preloaded.
timeout 30 /usr/lib/wine/wineserver -w || timeout 10 /usr/lib/wine/wineserver -k || true
LD_PRELOAD=$wine_preload /usr/lib/wine/wineserver -p
wine cmd /c exit >/dev/null 2>&1

# The id of the first visible window whose title starts with $1, waiting up to $2 seconds.
wine_window() {
  local id
  for _ in $(seq $((${2:-30} * 5))); do
    id=$(timeout 5 xdotool search --onlyvisible --name "^$1" 2>/dev/null | head -1) && [ -n "$id" ] && echo "$id" && return 0
    sleep 0.2
  done
  return 1
}

# Waits up to $2 seconds for the process to end (a child that ended but was not yet waited for
# counts as ended), then kills it; false when it had to be killed.
wine_ended() { # pid seconds
  local state
  for _ in $(seq $(($2 * 10))); do
    state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1) || break
    { [ -z "$state" ] || [ "$state" = Z ]; } && break
    sleep 0.1
  done
  if [ -n "$state" ] && [ "$state" != Z ]; then
    kill -9 "$1" 2>/dev/null || true
    wait "$1" 2>/dev/null || true
    return 1
  fi
  wait "$1" 2>/dev/null || true
}
