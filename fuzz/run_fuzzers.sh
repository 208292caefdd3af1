#!/bin/sh
# Runs every libFuzzer target for SECONDS each, starting from its committed
# seed corpus, and prints one summary line per target: executions, edge
# coverage, features, corpus size and crashes. Fails when a target crashed
# (its reproducer is left in WORK_DIR). FAMILY names the kernel family the
# build is capped at, for the summary.
# usage: run_fuzzers.sh FUZZ_BUILD_DIR SECONDS WORK_DIR [FAMILY]
set -eu
build=$1
seconds=$2
work=$3
family=${4:-auto}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
summary="$work/summary.txt"
: >"$summary"
failed=0
for seeds in "$here"/corpus/*; do
  name=$(basename "$seeds")
  corpus="$work/corpus-$name"
  log="$work/$name.log"
  mkdir -p "$corpus"
  rm -f "$work/$name"-crash-* "$work/$name"-leak-* "$work/$name"-timeout-* "$work/$name"-oom-*
  dict=""
  [ -f "$here/$name.dict" ] && dict="-dict=$here/$name.dict"
  echo "fuzzing $name ($family kernels) for ${seconds}s (log: $log)"
  status=0
  # New inputs go to the scratch corpus only; the seeds stay as committed.
  "$build/fuzz/fuzz_$name" $dict -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$work/$name-" "$corpus" "$seeds" >"$log" 2>&1 || status=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
  cov=$(echo "$last" | sed -n 's/.* cov: \([0-9]*\).*/\1/p')
  ft=$(echo "$last" | sed -n 's/.* ft: \([0-9]*\).*/\1/p')
  corp=$(echo "$last" | sed -n 's/.* corp: \([0-9]*\).*/\1/p')
  crashes=$(ls "$work" | grep -c "^$name-\(crash\|leak\|timeout\|oom\)-" || true)
  if [ "$status" -ne 0 ]; then
    failed=1
    tail -n 40 "$log"
  fi
  printf '%-12s %-9s %6ss  execs %-10s cov %-5s ft %-6s corpus %-5s crashes %s\n' \
    "$name" "$family" "$seconds" "${execs:-?}" "${cov:-?}" "${ft:-?}" "${corp:-?}" "$crashes" | tee -a "$summary"
done
echo "summary in $summary"
exit $failed
