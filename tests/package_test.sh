#!/usr/bin/env bash
# Makes the Debian package of the build and checks it as a user gets it,
# unpacked into a fresh folder that is not its install prefix: the file's
# name, version and computed dependencies; every program's --version; the
# AppStream metadata (its release, its screenshots, appstreamcli's verdict);
# the unpacked tevo-logtool making a demo device from the unpacked logs; the
# unpacked viewer opening a day of it headless, its screen compared with a
# golden picture (TEVO_UPDATE_GOLDEN=1 writes it); and the first start
# without logs naming the device root on stderr.
#
#   tests/package_test.sh BUILD_DIR SOURCE_DIR VERSION OUTPUT_DIR
set -euo pipefail
build=$1 source=$2 version=$3 output=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

if ! cpack --config "$build/CPackConfig.cmake" -B "$work/cpack" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"
  echo "FAIL: cpack could not make the package"
  exit 1
fi
deb=$work/cpack/tevo-logviewer_${version}_$(dpkg --print-architecture).deb
[ -e "$deb" ] || { echo "FAIL: no $(basename "$deb"); cpack made: $(ls "$work/cpack")"; exit 1; }

# The version and the dependencies the package carries.
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the package's version is $(dpkg-deb -f "$deb" Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for needed in fonts-ipafont-gothic libc6 libpng16-16 libfreetype6 libfontconfig1 libsdl2-2.0-0; do
  [[ ", $depends," == *", $needed "* || ", $depends," == *", $needed,"* ]] || fail "Depends lacks $needed: $depends"
done
recommends=$(dpkg-deb -f "$deb" Recommends)
for recommended in osmcoastline gpsd; do
  [[ ", $recommends," == *", $recommended,"* ]] || fail "Recommends lacks $recommended: $recommends"
done

root=$work/unpacked
dpkg-deb -x "$deb" "$root"
prefix=$root/usr
for program in "$prefix"/bin/*; do
  name=$(basename "$program")
  [ "$("$program" --version)" = "$name $version" ] || fail "$name --version says '$("$program" --version)'"
done

# The AppStream metadata: this release, installed screenshots, valid.
metainfo=$(find "$prefix/share/metainfo" -name '*.metainfo.xml')
[ -n "$metainfo" ] || fail "no AppStream metadata in share/metainfo"
for file in $metainfo; do
  grep -q "<release version=\"$version\" date=\"[0-9-]*\"/>" "$file" || fail "$(basename "$file") has no release $version"
  shots=$(sed -n 's|.*<image[^>]*>.*/\([^/<]*\)</image>.*|\1|p' "$file")
  [ "$(echo "$shots" | wc -w)" -ge 2 ] || fail "$(basename "$file") names fewer than two screenshots"
  for shot in $shots; do
    [ -e "$prefix/share/tevo-logviewer/screenshots/$shot" ] || fail "screenshot $shot is not in the package"
  done
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$file" >"$work/appstream.log" 2>&1 || fail "appstreamcli: $(cat "$work/appstream.log")"
  fi
done

# The unpacked tevo-logtool makes a demo device from the unpacked logs.
if ! "$prefix/bin/tevo-logtool" demo --out "$work/device" >"$work/demo.log" 2>&1; then
  cat "$work/demo.log"
  fail "the unpacked tevo-logtool demo failed"
fi
grep -q "receiver logs from $prefix/share/tevo-logviewer/nmea" "$work/demo.log" ||
  fail "tevo-logtool demo did not take the unpacked logs: $(head -1 "$work/demo.log")"
# Its map is built by the unpacked tevo-mapbuild, run as a program: tevo-logtool
# itself links no geodata library.
grep -q "by .*/bin/tevo-mapbuild$" "$work/demo.log" && grep -q "built from open data" "$work/demo.log" ||
  fail "the map of the demo device was not built by the unpacked tevo-mapbuild: $(cat "$work/demo.log")"
if ldd "$prefix/bin/tevo-logtool" | grep -q libgdal; then fail "the unpacked tevo-logtool links GDAL"; fi

# The viewer in a network namespace of its own, where no other copy (of a
# test running beside this one) can make it end at once.
isolated=()
if unshare -rn true 2>/dev/null; then isolated=(unshare -rn); fi
viewer() {  # device root, script text; stderr goes to $work/viewer.err
  printf '%b' "$2" >"$work/script.txt"
  "${isolated[@]}" env -u TEVO_PICTURE_DIR "$prefix/bin/tevo-logviewer" --device-root "$1" \
    --script "$work/script.txt" >/dev/null 2>"$work/viewer.err" || fail "the viewer failed: $(cat "$work/viewer.err")"
}

# Opening 7 February 2026 of the demo device draws its drive on the map.
viewer "$work/device" "wait 100\ndown 430 80\nup\nwait 3500\nshot $work/day.png\nquit\n"
grep -q "no logs under" "$work/viewer.err" && fail "the viewer found no logs on the demo device"
golden=$source/tests/golden/package_day_map.png
if [ ! -e "$work/day.png" ]; then
  fail "the viewer took no screenshot"
elif [ "${TEVO_UPDATE_GOLDEN:-}" = 1 ]; then
  cp "$work/day.png" "$golden"
  echo "golden written: $golden (look at it)"
elif [ ! -e "$golden" ]; then
  fail "no golden $golden (run with TEVO_UPDATE_GOLDEN=1 to write it, then look at it)"
elif ! cmp -s "$work/day.png" "$golden"; then
  mkdir -p "$output"
  cp "$work/day.png" "$output/package_day_map.actual.png"
  differing=unknown
  if command -v compare >/dev/null; then
    differing=$(compare -metric AE "$golden" "$work/day.png" "$output/package_day_map.diff.png" 2>&1 || true)
  fi
  # Equal pixels in a differently compressed file still pass.
  [ "$differing" = 0 ] || fail "the day's screen differs from $golden in $differing pixels; see $output"
fi

# A first start without logs names the device root it looked at.
mkdir "$work/empty"
viewer "$work/empty" "wait 500\nquit\n"
for text in "no logs under the device root $work/empty;" "tevo-logtool demo --out DIR" "--device-root DIR"; do
  grep -qF -- "$text" "$work/viewer.err" || fail "the first start's stderr lacks '$text': $(cat "$work/viewer.err")"
done
[ "$(grep -c '^tevo-logviewer: ' "$work/viewer.err")" -eq 1 ] ||
  fail "the first start says more than one line: $(cat "$work/viewer.err")"

if [ $failures -eq 0 ]; then
  echo "package: all checks passed ($(basename "$deb"))"
else
  echo "package: $failures checks failed"
  exit 1
fi
