#!/usr/bin/env bash
# Writes PNG screenshots of the tarvex program into docs/screenshots/: both pages with simulated
# phones attached (a sample firmware set listed, the port seen), the port view, the download
# window (running, finished, failed, refused before the phone, log hidden) and the multi-port
# window with three phones.
# Runs the windows on a virtual X server (Xvfb) so that they are drawn as on a desktop.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset default >/dev/null
cmake --build --preset default --target tarvex-screenshots

out=docs/screenshots
if command -v xvfb-run >/dev/null; then
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
    build/default/bin/tarvex-screenshots "$out"
else
  echo "xvfb-run is missing: drawing off screen instead" >&2
  QT_QPA_PLATFORM=offscreen build/default/bin/tarvex-screenshots "$out"
fi
