#!/usr/bin/env bash
# A headless viewer and the main-menu stand-in as two real programs: the
# main menu receives exactly one notification per accepted tap.
#   mainmenu_taps.sh VIEWER MAINMENU DATA_DIR WORK_DIR
set -euo pipefail
# Where the system allows it, run in a network namespace of our own: programs
# find each other's windows over abstract sockets, and these must not meet a
# viewer or main menu running outside the test.
if [ -z "${TEVO_TEST_ISOLATED:-}" ] && unshare -rn true 2>/dev/null; then
  export TEVO_TEST_ISOLATED=1
  exec unshare -rn "$0" "$@"
fi
viewer=$1 mainmenu=$2 data=$3 work=$4
rm -rf "$work" && mkdir -p "$work"
device="$work/device"
mkdir -p "$device/SDMMC/TEVOLOG/2005/07" "$device/NAND/QXAPP/Data"
cp "$data/nmea/japan/gpsd_iTrek.log" "$device/SDMMC/TEVOLOG/2005/07/20050727.log"

cat >"$work/taps.txt" <<'SCRIPT'
wait 10
# Accepted: the next arrow, the previous arrow, the marked 27th (it opens the map).
down 432 16
up
wait 10
down 368 16
up
wait 10
# Not accepted: the weekday header, an unmarked day (the 26th).
down 240 40
up
wait 10
down 176 208
up
wait 10
down 240 208
up
wait 300
# On the map screen: the plus button is refused at step 0, the back button is accepted.
down 460 20
up
wait 10
down 20 20
up
wait 10
quit
SCRIPT

"$mainmenu" >"$work/mainmenu.log" 2>&1 &
menu=$!
trap 'kill $menu 2>/dev/null || true' EXIT
for _ in $(seq 50); do grep -q ready "$work/mainmenu.log" && break; sleep 0.1; done
"$viewer" --device-root "$device" --script "$work/taps.txt"
sleep 0.5
kill "$menu"
wait "$menu" || true
taps=$(grep -c '^tap ' "$work/mainmenu.log" || true)
[ "$taps" -eq 4 ] || { echo "FAIL: the main menu received $taps notifications, expected 4"; cat "$work/mainmenu.log"; exit 1; }
echo "ok: 4 notifications for 4 accepted taps"
