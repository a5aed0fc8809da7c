#!/usr/bin/env bash
# Runs every test: builds the optimised, address/undefined-behaviour and thread sanitizer
# configurations and runs the whole suite in each (clang-tidy's gate over the product's sources
# after the optimised build), builds and tries the .deb package, then gives every fuzz target a
# short run.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
echo "=== format ==="
git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
for preset in default asan tsan; do
  echo "=== $preset ==="
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  if [[ $preset == default ]]; then
    echo "=== clang-tidy ==="
    scripts/tidy.sh build/default
  fi
  ctest --preset "$preset"
done
echo "=== package ==="
scripts/package-test.sh
echo "=== fuzz (smoke run) ==="
scripts/fuzz.sh 5
