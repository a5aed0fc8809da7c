#!/usr/bin/env bash
# Sets up this machine (Debian 12, as root), builds Tarvex and runs the main job: a normal
# download of a generated firmware set into a simulated TQ4410 phone on a pseudo-terminal,
# ending with the byte-for-byte check of the phone's stores.
# Only the programs are built (tarvex-cli, tarvex, the plug-in and the simulated phones), and only
# the packages they need are installed; ./test.sh adds the tests, benchmarks and their packages.
# Extra arguments go to the download, e.g. ./setup.sh --json
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh --run
# The tests and benchmarks stay off here (their packages may not be installed); the test
# command's own configure turns them on again.
cmake --preset default -DTARVEX_BUILD_TESTS=OFF -DTARVEX_BUILD_BENCH=OFF >/dev/null
cmake --build --preset default --target tarvex-cli tarvex
echo
exec build/default/bin/tarvex-cli download --simulate "$@"
