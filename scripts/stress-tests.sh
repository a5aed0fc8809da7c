#!/usr/bin/env bash
# Runs the timing-sensitive suites (every suite whose simulated phone resets, re-enumerates or
# runs in a window) ROUNDS times in a row (default 10) while two busy loops keep both cores
# loaded, and prints the time it took. Every round must be green: a test that passes only on an
# idle machine waits on a margin instead of a condition. Not part of .ci/run.
set -euo pipefail
cd "$(dirname "$0")/.."

rounds=${1:-10}
cmake --preset default >/dev/null
cmake --build --preset default

bin=build/default/bin
# The suites, per test program.
programs=(corvane_tests tarvex_cli_tests tarvex_gui_tests)
declare -A suites=(
  [corvane_tests]="NormalDownload.*:RomCopy.*:PhoneControl.*:MdmDownload.*:SwitchUsbToAp.*"
  [tarvex_cli_tests]="CliMulti.*:CliDownload.*:CliFactory.*:CliMdm.*:CliUpload.*:CliProcess.*:CliRefuses.*:DownloadRunTest.*:Tq4410Check.*"
  [tarvex_gui_tests]="DownloadWindowTest.*:MultiPortTest.*:SheetWindowTest.*"
)

busy() { while :; do :; done; }
busy &
load1=$!
busy &
load2=$!
trap 'kill "$load1" "$load2" 2>/dev/null || true' EXIT

log=$(mktemp)
start=$(date +%s)
for ((round = 1; round <= rounds; round++)); do
  for program in "${programs[@]}"; do
    if ! QT_QPA_PLATFORM=offscreen "$bin/$program" --gtest_filter="${suites[$program]}" \
      --gtest_brief=1 >"$log" 2>&1; then
      cat "$log"
      echo "stress: round $round of $rounds failed in $program after $(($(date +%s) - start)) s" >&2
      exit 1
    fi
  done
  echo "stress: round $round of $rounds green ($(($(date +%s) - start)) s so far)"
done
rm -f "$log"
echo "stress: $rounds rounds green under two busy loops in $(($(date +%s) - start)) s"
