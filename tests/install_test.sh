#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks what a user gets:
# the programs, pictures, desktop entry, icons, manual pages and demo data;
# that the installed tevo-logtool makes a demo device from the installed
# logs; and that the installed viewer runs a script headless and finds its
# pictures (its screenshot equals the build tree's and differs from one
# taken without pictures).
#
#   tests/install_test.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
source=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
need() {  # file...
  for f in "$@"; do [ -e "$prefix/$f" ] || fail "not installed: $f"; done
}

cmake --install "$build" --prefix "$prefix" >"$work/install.log"

for program in tevo-logviewer tevo-logtool tevo-mainmenu tevo-recorder; do
  [ -x "$prefix/bin/$program" ] || fail "not installed or not executable: bin/$program"
  need "share/man/man1/$program.1.gz"
done
for picture in "$source"/resources/pictures/*.png; do
  need "share/tevo-logviewer/pictures/$(basename "$picture")"
done
need share/applications/tevo-logviewer.desktop
need "lib/systemd/system/tevo-recorder@.service"
for size in 16 32 48 64 128 256; do
  need "share/icons/hicolor/${size}x${size}/apps/tevo-logviewer.png"
done
for log in "$source"/data/nmea/*/*; do
  need "share/tevo-logviewer/nmea/${log#"$source"/data/nmea/}"
  cmp -s "$log" "$prefix/share/tevo-logviewer/nmea/${log#"$source"/data/nmea/}" || fail "changed on install: $log"
done
need share/tevo-logviewer/nmea/README.md
for licence in "$source"/data/LICENSES/*; do need "share/tevo-logviewer/nmea/LICENSES/$(basename "$licence")"; done

# The desktop entry starts an installed program with an installed icon.
desktop=$prefix/share/applications/tevo-logviewer.desktop
if [ -e "$desktop" ]; then
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -x "$prefix/bin/$exec_name" ] || fail "Exec=$exec_name is not an installed program"
  [ -e "$prefix/share/icons/hicolor/48x48/apps/$icon.png" ] || fail "Icon=$icon is not an installed icon"
  for key in 'Name' 'Name\[ja\]' 'Comment' 'Comment\[ja\]' 'Categories'; do
    grep -q "^$key=." "$desktop" || fail "the desktop entry has no $key"
  done
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects the desktop entry"
  fi
fi

# Every command that tevo-logtool lists has its entry in the manual page.
zcat "$prefix/share/man/man1/tevo-logtool.1.gz" >"$work/tevo-logtool.1"
for command in $("$prefix/bin/tevo-logtool" --help | sed -n 's/^  \([a-z][a-z]*\) .*/\1/p'); do
  grep -Eq "^(\.BI \"$command |\\\\fB$command\\\\fR)" "$work/tevo-logtool.1" ||
    fail "tevo-logtool.1 does not describe the command $command"
done
if command -v man >/dev/null; then
  for page in "$prefix"/share/man/man1/tevo-*.1.gz; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
    [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  done
fi

# The installed tevo-logtool makes a demo device from the installed logs.
if ! "$prefix/bin/tevo-logtool" demo --out "$work/device" >"$work/demo.log" 2>&1; then
  cat "$work/demo.log"
  fail "tevo-logtool demo failed"
fi
grep -q "receiver logs from $prefix/share/tevo-logviewer/nmea" "$work/demo.log" ||
  fail "tevo-logtool demo did not take the installed logs: $(head -1 "$work/demo.log")"
# Its map is built by the installed tevo-mapbuild, run as a program: tevo-logtool
# itself links no geodata library.
grep -q "by .*/bin/tevo-mapbuild$" "$work/demo.log" && grep -q "built from open data" "$work/demo.log" ||
  fail "the map of the demo device was not built by the installed tevo-mapbuild: $(cat "$work/demo.log")"
if ldd "$prefix/bin/tevo-logtool" | grep -q libgdal; then fail "the installed tevo-logtool links GDAL"; fi

# The viewer in a network namespace of its own, where no other copy (of a
# test running beside this one) can make it end at once.
isolated=()
if unshare -rn true 2>/dev/null; then isolated=(unshare -rn); fi
printf 'wait 500\nshot %s\nquit\n' "$work/shot.png" >"$work/script.txt"
shoot() {  # screenshot, command line of the viewer
  local shot=$1
  shift
  rm -f "$work/shot.png"
  "${isolated[@]}" "$@" --device-root "$work/device" --script "$work/script.txt" >"$work/viewer.log" 2>&1 || true
  if [ -e "$work/shot.png" ]; then mv "$work/shot.png" "$shot"; else fail "$* took no screenshot: $(cat "$work/viewer.log")"; fi
}
shoot "$work/installed.png" env -u TEVO_PICTURE_DIR "$prefix/bin/tevo-logviewer"
shoot "$work/built.png" env -u TEVO_PICTURE_DIR "$build/app/tevo-logviewer"
shoot "$work/bare.png" env TEVO_PICTURE_DIR="$work/nowhere" "$prefix/bin/tevo-logviewer"
if [ -e "$work/installed.png" ] && [ -e "$work/built.png" ] && [ -e "$work/bare.png" ]; then
  cmp -s "$work/installed.png" "$work/built.png" || fail "the installed viewer's screen differs from the build tree's"
  cmp -s "$work/installed.png" "$work/bare.png" && fail "the installed viewer's screen is the same without pictures"
fi

if [ $failures -eq 0 ]; then
  echo "install: all checks passed"
else
  echo "install: $failures checks failed"
  exit 1
fi
