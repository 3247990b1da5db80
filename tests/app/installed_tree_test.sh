#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the build tree into a temporary prefix, checks the desktop entry, the AppStream
# metadata and the manual page with their validators, the programme file type as a desktop
# sees it, and runs the installed kivo: --version, --help, --demo up to its programme
# list, --broadcast and --check, none of which may map an FFmpeg library, and --record
# with and without the recorder.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
other=$(mktemp -d)
trap 'rm -rf "$prefix" "$other"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

# Every path the manual names is in the tree it was installed with, whichever the prefix.
for root in "$prefix" "$other/usr"; do
  cmake --install "$build" --prefix "$root" >/dev/null
  manual=$(zcat "$root/share/man/man1/kivo.1.gz")
  warnings=$(LC_ALL=C.UTF-8 groff -ww -man -z <<<"$manual" 2>&1) || fail "manual page"
  [ -z "$warnings" ] || fail "manual page: $warnings"
  paths=$(grep -o '\(^\| \)/[^ ]*' <<<"$manual" | tr -d ' ')
  [ "$(wc -l <<<"$paths")" -ge 3 ] || fail "manual paths: $paths"
  for path in $paths; do
    [[ $path == "$root"/* && -e $path ]] || fail "the manual names $path, not installed in $root"
  done
done
share=$prefix/share
desktop-file-validate "$share"/applications/*.desktop || fail "desktop entry"
appstreamcli validate --pedantic --no-net "$share"/metainfo/*.metainfo.xml >/dev/null || fail "AppStream metadata"

# A file manager sees KIVO.001 as a programme and offers kivo for it and for folders.
update-mime-database "$share/mime" 2>/dev/null  # it notes that the folder is not searched
printf '001,test\r\n[pre]\r\n' >"$other/KIVO.001"
type=$(XDG_DATA_HOME=$other XDG_DATA_DIRS=$share:/usr/share xdg-mime query filetype "$other/KIVO.001")
[ "$type" = text/x-kivo-programme ] || fail "KIVO.001 is $type"
grep -qx 'MimeType=inode/directory;text/x-kivo-programme;' "$share"/applications/org.kivo.kivo.desktop || fail "MimeType"
for size in 16 32 48 64 128 256; do
  file "$share/icons/hicolor/${size}x${size}/apps/kivo.png" | grep -q "$size x $size" || fail "icon $size"
done
[ -f "$share/doc/kivo/README.md" ] && [ -f "$share/doc/kivo/docs/images/stage-demo.png" ] || fail "docs"
if grep -q "^KIVO_WEB:BOOL=ON" "$build/CMakeCache.txt"; then
  for file in index.html hls.min.js nginx.conf; do [ -s "$share/kivo/web/$file" ] || fail "no watch page's $file"; done
fi

# The installed tree is moved before it runs: the demo is found from the executable.
moved=$(mktemp -d)
trap 'rm -rf "$prefix" "$moved"' EXIT
mv "$prefix" "$moved/kivo"
kivo=$moved/kivo/bin/kivo
[ "$("$kivo" --version | head -1)" = "kivo $(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")" ] || fail "--version"
help=$("$kivo" --help) || fail "--help status"
grep -q -- "--choose-folder" <<<"$help" || fail "--help text"
for option in --help --version; do
  ! "$kivo" $option >/dev/full 2>/dev/null || fail "$option >/dev/full ends with status 0"
done

trace=$moved/trace.txt
cd /
# The offscreen screen is 800 x 600: too small for the stage at scale 3.
QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy KIVO_TRACE=1 "$kivo" --demo --scale 3 2>"$trace" &
pid=$!
for _ in $(seq 100); do
  [ "$(grep -c '^[0-9.]* list ' "$trace")" -ge 3 ] && break
  kill -0 $pid 2>/dev/null || fail "kivo --demo ended: $(tail -3 "$trace")"
  sleep 0.2
done
# Only the recorder maps FFmpeg.
no_ffmpeg() {
  grep -q libQt6Core "/proc/$1/maps" || fail "$2: no maps"
  ! grep -E "/lib(av|sw)[a-z]*\.so" "/proc/$1/maps" || fail "$2 maps FFmpeg"
}
no_ffmpeg $pid "playing"
kill -TERM $pid
status=0
wait $pid || status=$?
[ "$(grep -c '^[0-9.]* list .* "KIVO.00[123]"$' "$trace")" = 3 ] || fail "--demo list: $(grep ' list ' "$trace")"
grep -q "^[0-9.]* folder \"$moved/kivo/share/kivo/demo\"$" "$trace" || fail "demo folder: $(grep folder "$trace")"
[ $status = 143 ] || fail "status $status after SIGTERM"
grep -q "^kivo: the stage does not fit the screen at --scale 3; using 1$" "$trace" || fail "--scale 3: $(head -3 "$trace")"

QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy KIVO_TRACE=1 "$kivo" --broadcast --demo 2>"$trace" &
pid=$!
for _ in $(seq 100); do
  grep -q '^[0-9.]* broadcast ' "$trace" && break
  sleep 0.2
done
no_ffmpeg $pid "--broadcast"
kill -TERM $pid; wait $pid || true
# --check ends too soon to look at its maps; the loader lists what it maps.
LD_DEBUG=files "$kivo" --check "$moved/kivo/share/kivo/demo" >/dev/null 2>"$trace" || fail "--check"
grep -q "file=libQt6Core" "$trace" && ! grep -E "file=lib(av|sw)" "$trace" || fail "--check maps FFmpeg"

# --record runs the recorder, whose own checks answer; without it, kivo names its package.
out=$("$kivo" --record "$moved/a.mp4" "$moved/none" 2>&1) && fail "--record without a folder"
grep -q "none" <<<"$out" || fail "--record through the recorder: $out"
# --stream puts the watch page beside its playlist, found from the installed recorder.
if grep -q "^KIVO_WEB:BOOL=ON" "$build/CMakeCache.txt"; then
  QT_QPA_PLATFORM=offscreen "$kivo" --broadcast --stream "$moved/air" --demo 2>"$trace" &
  pid=$!
  for _ in $(seq 100); do [ -f "$moved/air/hls.min.js" ] && break; sleep 0.2; done
  kill -TERM $pid; wait $pid || true
  cmp -s "$moved/air/hls.min.js" "$moved/kivo/share/kivo/web/hls.min.js" || fail "--stream: no watch page: $(tail -3 "$trace")"
fi
rm "$moved/kivo/libexec/kivo/kivo-record"
status=0
out=$("$kivo" --record "$moved/a.mp4" 2>&1) || status=$?
[ $status = 2 ] && grep -q "kivo-recorder package" <<<"$out" || fail "--record without the recorder: $status $out"
echo "PASS: installed tree"
