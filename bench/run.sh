#!/usr/bin/env bash
# Runs every benchmark executable; each prints "name value unit" lines on stdout.
set -euo pipefail
build=${1:-build}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
for b in "$build"/bench/bench_*; do
  if [ -f "$b" ] && [ -x "$b" ]; then "$b" 2>/dev/null; fi
done
