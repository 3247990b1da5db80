#!/usr/bin/env bash
# `make package`: builds the Debian package from this build tree into a temporary folder;
# its control data must name the SoundFont and the Japanese fonts, and lintian must find
# no errors, no warnings and nothing that Debian's hardened, stripped builds avoid.
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
contents=$(dpkg-deb --contents "$deb")
grep -q " ./usr/bin/kivo$" <<<"$contents" || fail "no /usr/bin/kivo"
if command -v lintian >/dev/null; then
  report=$(lintian --fail-on error,warning --display-info --tag-display-limit 0 "$deb") || fail "lintian: $report"
  ! grep -E "hardening-no-bindnow|hardening-no-fortify-functions|binary-has-unneeded-section" <<<"$report" ||
    fail "not built as Debian builds its own"
fi
echo "PASS: $(basename "$deb")"
