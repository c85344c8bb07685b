#!/usr/bin/env bash
# Runs every fuzz target of a build folder for a bounded time each, starting from its seed
# corpus (fuzz/corpus/<target>/); new inputs go to <build>/fuzz/corpus/<target>/ so the
# committed seeds stay as they are. Stops at the first target that fails a property or crashes.
# FUZZ_SEED fixes libFuzzer's random seed, so that a gate run explores the same inputs on every
# machine (what passed here with that seed for as long passes there); unset, each run differs.
# Usage: fuzz/run.sh BUILD_FOLDER [SECONDS_PER_TARGET] [TARGET...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?usage: fuzz/run.sh BUILD_FOLDER [SECONDS] [TARGET...]}
build=$(cd "$build" && pwd)  # absolute: a target may change its current folder
seeds=$PWD/fuzz/corpus
seconds=${2:-30}
shift $(( $# > 1 ? 2 : 1 ))
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:strict_string_checks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
seed_option=()
[ -n "${FUZZ_SEED:-}" ] && seed_option=(-seed="$FUZZ_SEED")
status=0
for target in "${targets[@]}"; do
  binary="$build/fuzz/$target"
  work="$build/fuzz/corpus/$target"
  log="$build/fuzz/$target.log"
  mkdir -p "$work" "$build/fuzz/crashes"
  echo "== $target: ${seconds}s (log: $log)"
  if "$binary" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      ${seed_option[@]+"${seed_option[@]}"} \
      -artifact_prefix="$build/fuzz/crashes/$target-" "$work" "$seeds/$target" \
      >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log")
    echo "   ok: $runs runs, $rate per second"
  else
    status=1
    echo "   FAILED: the input is in $build/fuzz/crashes/; the end of the log:"
    grep -v '^tessarin: ' "$log" | tail -40
    break
  fi
done
exit $status
