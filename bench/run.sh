#!/usr/bin/env bash
# Runs every benchmark executable; each prints "name value unit" lines.
set -euo pipefail
build=${1:-build}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] && "$b"
done
