#!/usr/bin/env bash
# Sets up this machine (Debian 12, as root), builds Tarvex and runs the main job: without a phone
# attached, a link check against a simulated phone on a pseudo-terminal.
# Extra arguments go to the link check, e.g. ./setup.sh --port /dev/ttyACM0
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default
echo
exec build/default/bin/tarvex-linkcheck "$@"
