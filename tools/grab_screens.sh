#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Redraws the README's pictures from the real program playing the bundled demo under
# Xvfb, each window as it is on screen at scale 1: the opening (docs/images/opening.png),
# the programme list (docs/images/selection.png) and the stage during a programme
# (docs/images/stage-demo.png). Needs xvfb, xdotool and imagemagick.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
kivo="$top/build/app/kivo"
out="$top/docs/images"
Xvfb :87 -screen 0 800x600x24 -nolisten tcp & xvfb=$!
trap 'kill $kivo_pid $xvfb 2>/dev/null || true' EXIT
export DISPLAY=:87 SDL_AUDIODRIVER=dummy QT_QPA_PLATFORM=xcb
sleep 1
(cd "$top/demo" && exec "$kivo") & kivo_pid=$!
# The opening plays for 4.8 seconds; its title has been drawn after two.
sleep 2.5
import -window "$(xdotool search --onlyvisible --name "Ostrimo" | tail -1)" "$out/opening.png"
sleep 4
wid=$(xdotool search --onlyvisible --name "ミルカナランド放送局" | tail -1)
import -window "$wid" "$out/selection.png"
# Double-click the first title, then let the first lines play.
xdotool mousemove --window "$wid" 40 56 click --repeat 2 --delay 80 1
sleep 2.5
wid=$(xdotool search --onlyvisible --name "ミルカナランド放送局" | tail -1)
for i in 1 2 3 4 5 6; do xdotool windowfocus "$wid"; xdotool key space; sleep 1.6; done
import -window "$wid" "$out/stage-demo.png"
