#!/usr/bin/env bash
# Builds the optimised configuration and prints the benchmark figures.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target bench_codec bench_link bench_omap bench_upload bench_multi bench_records
build/default/bin/bench_codec
build/default/bin/bench_link
build/default/bin/bench_omap
build/default/bin/bench_upload
build/default/bin/bench_multi
build/default/bin/bench_records
