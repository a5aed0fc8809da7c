#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 10): a smoke run in the test
# command, a long run by hand (scripts/fuzz.sh 3600). Corpora are kept in build/fuzz/corpus,
# crashing inputs land in build/fuzz/crashes.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-10}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
mkdir -p build/fuzz/crashes
status=0
for target in build/fuzz/bin/fuzz_*; do
  name=$(basename "$target")
  corpus=build/fuzz/corpus/$name
  log=build/fuzz/$name.log
  mkdir -p "$corpus"
  set +e
  "$target" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix=build/fuzz/crashes/"$name"- "$corpus" >"$log" 2>&1
  rc=$?
  set -e
  runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' || echo 0)
  if [[ $rc -ne 0 ]]; then
    echo "$name: FAILED after $runs runs"
    tail -n 40 "$log"
    status=1
  else
    echo "$name: $runs runs in ${seconds}s, no failure"
  fi
done
exit $status
