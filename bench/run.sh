#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every benchmark executable; each prints "name value unit" lines on stdout. Then
# the whole-program figures (memory, first window, live timing) under Xvfb.
set -euo pipefail
build=${1:-build}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
for b in "$build"/bench/bench_*; do
  if [ -f "$b" ] && [ -x "$b" ]; then "$b" 2>/dev/null; fi
done
# Debian's interpreter, with Debian's X library, even where another python3 comes first.
python=$(command -v /usr/bin/python3 || command -v python3)
"$python" "$(dirname "$0")/process_bench.py" "$build"
