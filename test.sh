#!/usr/bin/env bash
# Runs every test: builds the optimised, address/undefined-behaviour and thread sanitizer
# configurations and runs the whole suite in each (clang-tidy's gate over the product's sources
# after the optimised build; a PostgreSQL server of the tests' own throughout), cross-builds the
# Windows programs and tries them under Wine against simulated phones, builds and tries the .deb
# package, then gives every fuzz target a short run.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
# The records' server tests deliver to a throw-away PostgreSQL server of their own, on a port of
# its own and a socket in its directory, removed at the end however the tests end.
pg_dir=$(mktemp -u /tmp/tarvex-pg.XXXXXX)
pg_port=$((55000 + $$ % 1000))
trap 'scripts/pg-test-server.sh stop "$pg_dir"' EXIT
scripts/pg-test-server.sh start "$pg_dir" "$pg_port"
export TARVEX_TEST_PG="host=$pg_dir port=$pg_port user=postgres"
export TARVEX_PG_REQUIRED=1
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
echo "=== windows (cross-built, under Wine) ==="
if scripts/install-deps.sh --windows; then
  scripts/windows-test.sh
elif [[ -n ${TARVEX_REQUIRE_WINDOWS:-} ]]; then
  echo "The Windows stage needs mingw-w64 and Wine, which could not be installed" >&2
  exit 1
else
  echo "Windows stage skipped: mingw-w64 and Wine are not installed (run this as root once)"
fi
echo "=== package ==="
scripts/package-test.sh
echo "=== fuzz (smoke run) ==="
scripts/fuzz.sh 5
