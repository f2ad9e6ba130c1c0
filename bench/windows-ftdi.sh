#!/usr/bin/env bash
# The FTDI sweep of the Windows build, for q390bench's ftdi section: q390-rec.exe under Wine,
# opening COM1 through D2XX on the stand-in ftd2xx.dll of tests/wine (the emulated FT232R of the
# Linux figure), in a fresh Wine session. One sweep and three: the modelled time of a sweep is
# half the difference, and so are the bytes clocked through the pins. Prints
# "<seconds a sweep> <pin bytes a sweep>". Arguments: the Linux build, the Windows build.
set -euo pipefail
linux=$1 windows=$2
stage=$(find "$windows" -maxdepth 2 2>/dev/null -name q390-rec.exe -path '*/q390-*/*' -print -quit)
standin=$windows/tests/wine/ftd2xx/ftd2xx.dll
[ -n "$stage" ] && [ -f "$standin" ] || { echo "no packaged Windows build with the stand-in in $windows" >&2; exit 1; }
source "$(dirname "$0")/../scripts/wine-session.sh"
app=$wine_work/app
cp -r "$(dirname "$stage")" "$app"
cp "$standin" "$app/"
export Q390_FTDI_STATE
Q390_FTDI_STATE=$(winpath "$wine_work/state")
modelled() { # sweeps: "<modelled ns> <pin bytes>" after them
  wine "$app/q390-rec.exe" --port COM1 --sweeps "$1" --quiet -o - >/dev/null
  grep -q '^bitmode 0$' "$wine_work/state"
  echo "$(sed -n 's/^modelled_ns //p' "$wine_work/state") $(sed -n 's/^bytes //p' "$wine_work/state")"
}
read -r ns1 bytes1 < <(modelled 1)
read -r ns3 bytes3 < <(modelled 3)
[ -n "$ns1" ] && [ -n "$ns3" ]
awk -v a="$ns1" -v b="$ns3" -v c="$bytes1" -v d="$bytes3" 'BEGIN { printf "%.6f %d\n", (b - a) / 2e9, (d - c) / 2 }'
