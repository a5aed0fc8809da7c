#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 10): a smoke run in the test
# command, a long run by hand (scripts/fuzz.sh 600 --runs 1000000). Named TARGETs (fuzz_mdm_image
# or mdm_image) run alone; --runs N stops each target after N inputs, whichever comes first.
# Corpora are kept in build/fuzz/corpus, crashing inputs land in build/fuzz/crashes.
set -euo pipefail
cd "$(dirname "$0")/.."

usage() {
  echo "usage: scripts/fuzz.sh [SECONDS] [--runs N] [TARGET...]" >&2
  exit 2
}

seconds=10
if [[ $# -gt 0 && $1 =~ ^[0-9]+$ ]]; then
  seconds=$1
  shift
fi
runs=-1
targets=()
while [[ $# -gt 0 ]]; do
  case $1 in
    --runs)
      [[ $# -ge 2 && $2 =~ ^[0-9]+$ ]] || usage
      runs=$2
      shift 2
      ;;
    -h | --help) usage ;;
    -*) usage ;;
    *)
      targets+=("fuzz_${1#fuzz_}")
      shift
      ;;
  esac
done

cmake --preset fuzz >/dev/null
if [[ ${#targets[@]} -eq 0 ]]; then
  cmake --build --preset fuzz
  for target in build/fuzz/bin/fuzz_*; do targets+=("$(basename "$target")"); done
else
  cmake --build --preset fuzz --target "${targets[@]}"
fi
mkdir -p build/fuzz/crashes
status=0
for name in "${targets[@]}"; do
  corpus=build/fuzz/corpus/$name
  log=build/fuzz/$name.log
  mkdir -p "$corpus"
  set +e
  "build/fuzz/bin/$name" -max_total_time="$seconds" -runs="$runs" -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix=build/fuzz/crashes/"$name"- "$corpus" >"$log" 2>&1
  rc=$?
  set -e
  done_runs=$(grep -Eo 'stat::number_of_executed_units: *[0-9]+' "$log" | grep -Eo '[0-9]+$' ||
    echo 0)
  took=$(grep -Eo 'Done [0-9]+ runs in [0-9]+ second' "$log" | grep -Eo '[0-9]+ second' ||
    echo "${seconds} second")
  if [[ $rc -ne 0 ]]; then
    echo "$name: FAILED after $done_runs runs"
    tail -n 40 "$log"
    status=1
  else
    echo "$name: $done_runs runs in ${took}s, no failure"
  fi
done
exit $status
