#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# `make package`: builds the Debian packages from this build tree into a temporary folder:
# the player's control data must name the SoundFont and the Japanese fonts and no FFmpeg
# library; the recorder's, the player and FFmpeg. lintian must find no errors, no
# warnings and nothing that Debian's hardened, stripped builds avoid, in either.
set -euo pipefail
build=$1
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DEBFULLNAME="kivo packager" DEBEMAIL=packager@kivo.test cpack --config "$build/CPackConfig.cmake" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log"; fail "cpack"; }
deb=$(ls "$out"/kivo_*.deb)
depends=$(dpkg-deb --field "$deb" Depends)
for package in fluid-soundfont-gm fonts-ipafont-gothic fonts-ipafont-mincho libqt6widgets6 libsdl2-mixer; do
  grep -q "$package" <<<"$depends" || fail "Depends lacks $package: $depends"
done
! grep -E "libav|libsw" <<<"$depends" || fail "the player depends on FFmpeg: $depends"
contents=$(dpkg-deb --contents "$deb")
grep -q " ./usr/bin/kivo$" <<<"$contents" || fail "no /usr/bin/kivo"
debs=$deb
if grep -q "KIVO_RECORDER:BOOL=ON" "$build/CMakeCache.txt"; then
  recorder=$(ls "$out"/kivo-recorder_*.deb)
  depends=$(dpkg-deb --field "$recorder" Depends)
  for package in "kivo (=" libavcodec libavformat; do
    grep -q "$package" <<<"$depends" || fail "recorder's Depends lacks $package: $depends"
  done
  files=libexec/kivo/kivo-record
  ! grep -q "^KIVO_WEB:BOOL=ON" "$build/CMakeCache.txt" || files="$files share/kivo/web/hls.min.js"
  for file in $files; do
    grep -q " ./usr/$file$" <<<"$(dpkg-deb --contents "$recorder")" || fail "the recorder lacks $file"
  done
  ! grep -q "/web/" <<<"$contents" || fail "the player brings the watch page"
  debs="$debs $recorder"
fi
if command -v lintian >/dev/null; then
  report=$(lintian --fail-on error,warning --display-info --tag-display-limit 0 $debs) || fail "lintian: $report"
  ! grep -E "hardening-no-bindnow|hardening-no-fortify-functions|binary-has-unneeded-section" <<<"$report" ||
    fail "not built as Debian builds its own"
fi
echo "PASS: $(cd "$out" && echo $debs | xargs -n1 basename | tr '\n' ' ')"
