#!/usr/bin/env bash
# clang-tidy over the product's sources (every .cpp outside tests/, */tests/, bench/, fuzz/ and the
# out-of-tree example), with the checks of .clang-tidy as errors, two files at a time. Needs the
# compile commands of a configured build (build/default by default).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/default}
if [[ ! -f "$build/compile_commands.json" ]]; then
  echo "tidy: $build/compile_commands.json is missing: configure and build $build first" >&2
  exit 2
fi
mapfile -t sources < <(git ls-files '*.cpp' | grep -v -E '(^|/)tests/|^bench/|^fuzz/|^examples/')
start=$(date +%s)
run-clang-tidy -p "$build" -j 2 -quiet "${sources[@]/#/$PWD/}" >"$build/tidy.log" 2>&1 || {
  grep -E "(warning|error):" "$build/tidy.log" | sort -u >&2 || cat "$build/tidy.log" >&2
  echo "tidy: findings in the product's sources (all of them: $build/tidy.log)" >&2
  exit 1
}
echo "tidy: ${#sources[@]} files clean in $(($(date +%s) - start)) s"
