#!/usr/bin/env bash
# Sets up this machine (Debian 12, as root), builds Tarvex and runs the main job: a normal
# download of a generated firmware set into a simulated TQ4410 phone on a pseudo-terminal,
# ending with the byte-for-byte check of the phone's stores.
# Extra arguments go to the download, e.g. ./setup.sh --json
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
echo
exec build/default/bin/tarvex-cli download --simulate "$@"
