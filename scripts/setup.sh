#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages kivo needs to build, run and test. Idempotent and
# quiet when everything is already there.
set -euo pipefail

packages=(
  # build
  build-essential cmake pkg-config python3
  qt6-base-dev qt6-qpa-plugins libsdl2-dev libsdl2-mixer-dev libfluidsynth-dev libgtest-dev libxcb1-dev
  # recording: FFmpeg's libraries (H.264, AAC, VP9, Opus encoders come with Debian's build)
  # and its tools, with which the recording test decodes what was written
  libavcodec-dev libavformat-dev libavutil-dev libswscale-dev libswresample-dev ffmpeg
  # run: MIDI through FluidSynth with a General MIDI SoundFont, Japanese fonts
  libfluidsynth3 fluid-soundfont-gm timgm6mb-soundfont fonts-ipafont-gothic fonts-ipafont-mincho
  # end-to-end tests: a virtual X server, real X input, a window manager for the centring test
  xvfb xauth xdotool openbox
  # install and package tests: the validators of the installed files, the package tools
  desktop-file-utils appstream groff-base man-db dpkg-dev file lintian
  # the file type of programmes (xdg-mime asks File::MimeInfo), the screen reader's view
  # of the windows (AT-SPI on a private D-Bus session)
  xdg-utils shared-mime-info libfile-mimeinfo-perl at-spi2-core python3-pyatspi dbus
  # the check test reads the check's output with an editor's default error format
  # (vim-tiny is built without the quickfix list)
  vim
  # streaming tests: a browser that plays the watch page, nginx serving the HLS folder and
  # taking RTMP
  chromium nginx-light libnginx-mod-rtmp
  # fuzzing (make fuzz): clang and its libFuzzer runtime
  clang libclang-rt-dev
  # benchmarks (make bench): X events for the first-window time
  python3-xlib
)
# The watch page's player library comes from the npm registry at build time; a Node.js
# installed otherwise brings its own npm.
command -v npm >/dev/null || packages+=(npm)
# The peer the start-up benchmark compares with; the bench says n/a without it.
optional=(onscripter)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
optional_missing=()
for p in "${optional[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || optional_missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && [ ${#optional_missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
if [ ${#optional_missing[@]} -gt 0 ]; then
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${optional_missing[@]}" >/dev/null ||
    echo "Not installed (optional): ${optional_missing[*]}"
fi
