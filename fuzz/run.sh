#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs every fuzz target of a libFuzzer build for a while and prints one line per target:
#   <target> executions <N> findings <M>
# usage: fuzz/run.sh BUILD_DIR SECONDS [target...]   (FUZZ_RUNS=N also stops each after N runs)
# The growing corpus stays in BUILD_DIR/corpus/<target>; the seeds in fuzz/corpus are
# read, never written. Findings (crash-, leak-, timeout-, oom- files) go to
# BUILD_DIR/findings/<target>/; replay one with BUILD_DIR/fuzz/fuzz_<target> <file>.
set -uo pipefail
build=$(cd "$1" && pwd)  # absolute: the targets change their current directory
seconds=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=($(cd "$here/corpus" && ls))

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$here/../tests/sanitizers.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy

status=0
for t in "${targets[@]}"; do
  work="$build/corpus/$t" findings="$build/findings/$t" log="$build/findings/$t.log"
  mkdir -p "$work" "$findings"
  before=$(ls "$findings" | wc -l)
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=1024 -print_final_stats=1 ${FUZZ_RUNS:+-runs=$FUZZ_RUNS} \
    -artifact_prefix="$findings/" "$work" "$here/corpus/$t" >"$log" 2>&1
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' | tail -1)
  [ -n "$runs" ] || runs=$(grep -oE '^#[0-9]+' "$log" | tail -1 | tr -d '#')  # stopped by a finding
  found=$(( $(ls "$findings" | wc -l) - before ))
  echo "$t executions ${runs:-0} findings $found"
  [ "$found" -eq 0 ] && [ -n "$runs" ] || status=1
done
exit $status
