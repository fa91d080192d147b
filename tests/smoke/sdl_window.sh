#!/usr/bin/env bash
# The viewer in a real SDL window on a virtual X display: it opens, a click on
# the next-month arrow changes the month title, a click on a marked day opens
# the map, and a second copy ends at once without a window.
#   sdl_window.sh VIEWER DATA_DIR WORK_DIR
# Exit status 77 (skipped) when Xvfb, xdotool or ImageMagick's import is missing.
set -euo pipefail
# Where the system allows it, run in a network namespace of our own: programs
# find each other's windows over abstract sockets, and these must not meet a
# viewer or main menu running outside the test.
if [ -z "${TEVO_TEST_ISOLATED:-}" ] && unshare -rn true 2>/dev/null; then
  export TEVO_TEST_ISOLATED=1
  exec unshare -rn "$0" "$@"
fi
viewer=$1 data=$2 work=$3
for tool in Xvfb xdotool import; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

rm -rf "$work" && mkdir -p "$work"
device="$work/device"
mkdir -p "$device/SDMMC/TEVOLOG/2005/06" "$device/SDMMC/TEVOLOG/2005/07" "$device/NAND/QXAPP/Data"
cp "$data/nmea/japan/gpsd_iTrek.log" "$device/SDMMC/TEVOLOG/2005/07/20050727.log"
cp "$data/nmea/japan/gpsd_iTrek.log" "$device/SDMMC/TEVOLOG/2005/06/20050610.log"

display=:$((90 + RANDOM % 400))
Xvfb "$display" -screen 0 640x480x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
viewer_pid=
cleanup() {
  [ -n "$viewer_pid" ] && kill "$viewer_pid" 2>/dev/null || true
  kill "$xvfb" 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 50); do xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done

"$viewer" --device-root "$device" --scale 1 >"$work/viewer.log" 2>&1 &
viewer_pid=$!
window=$(xdotool search --sync --onlyvisible --name "Tevo LogViewer" | head -1)
sleep 0.5
shot() { import -window "$window" "$work/$1.png"; }
title_crc() { convert "$work/$1.png" -crop 100x32+185+4 +repage rgb:- | cksum | cut -d' ' -f1; }

shot start
geometry=$(identify -format '%wx%h' "$work/start.png")
[ "$geometry" = 480x272 ] || { echo "FAIL: window is $geometry, not 480x272"; exit 1; }

# The newest month is July 2005; the previous-month arrow shows June.
xdotool mousemove --window "$window" 368 16 click 1
sleep 0.5
shot previous_month
[ "$(title_crc start)" != "$(title_crc previous_month)" ] || { echo "FAIL: the month title did not change"; exit 1; }

# 10 June 2005 is a Friday in the second row: its cell is x 336..400, y 96..128.
xdotool mousemove --window "$window" 368 112 click 1
sleep 1.5
shot map
[ "$(title_crc previous_month)" != "$(title_crc map)" ] || { echo "FAIL: the map screen did not open"; exit 1; }

# A second copy for the same device finds the first and ends at once,
# without a window and with a failure status (it did not run).
start=$(date +%s%N)
if "$viewer" --device-root "$device" --scale 1 >"$work/second.log" 2>&1; then
  echo "FAIL: the second copy reported success"; exit 1
fi
elapsed_ms=$(( ($(date +%s%N) - start) / 1000000 ))
grep -q "another copy" "$work/second.log" || { echo "FAIL: the second copy did not find the first"; exit 1; }
[ "$(xdotool search --name "Tevo LogViewer" | wc -l)" -eq 1 ] || { echo "FAIL: a second window appeared"; exit 1; }
echo "ok: window 480x272, month stepped, map opened, second copy ended after ${elapsed_ms} ms; screenshots in $work"
