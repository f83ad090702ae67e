#!/usr/bin/env bash
# Runs every fuzz target for a bounded time from its committed seed corpus.
#   fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET]
# BUILD_DIR is a build configured with clang and -DZOP5_BUILD_FUZZ=ON. The
# corpus grown during the run stays in BUILD_DIR/fuzz-work/<target>; an input
# that breaks a target is saved there as crash-* and the script fails. Copy such
# an input to fuzz/regressions/<target>/ once its fault is fixed: the test
# suite replays it from then on.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:?usage: fuzz/run.sh BUILD_DIR [SECONDS_PER_TARGET]}
seconds=${2:-60}
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
status=0
for program in "$build"/fuzz/fuzz_*; do
  [ -x "$program" ] || continue
  target=${program##*/fuzz_}
  work=$build/fuzz-work/$target
  mkdir -p "$work"
  options=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="$work/" -timeout=10 -rss_limit_mb=2048)
  [ -f "$top/fuzz/dictionaries/$target.dict" ] && options+=(-dict="$top/fuzz/dictionaries/$target.dict")
  seeds=("$top/fuzz/corpus/$target")
  [ -d "$top/fuzz/regressions/$target" ] && seeds+=("$top/fuzz/regressions/$target")
  log=$work/fuzz.log
  "$program" "${options[@]}" "$work" "${seeds[@]}" >"$log" 2>&1
  result=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  coverage=$(grep -o 'cov: [0-9]*' "$log" | tail -1)
  if [ $result -eq 0 ]; then
    echo "fuzz $target: ${runs:-?} executions in ${seconds} s, ${coverage:-cov: ?}, no failure"
  else
    echo "fuzz $target: FAILED after ${runs:-?} executions (exit $result); input and log in $work"
    grep -E 'invariant broken|ERROR:|runtime error' "$log" | head -5
    status=1
  fi
done
exit $status
