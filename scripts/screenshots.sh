#!/usr/bin/env bash
# Starts the real tray application under Xvfb (no tray host there, so the fallback window shows)
# in a throw-away data folder, and saves a PNG of the tray menu, the fallback window and each
# balloon to build/screenshots/. Needs a built build/test/Gui/moxel and xvfb-run.
set -euo pipefail
cd "$(dirname "$0")/.."

moxel=${MOXEL_BIN:-build/test/Gui/moxel}
out=build/screenshots
data=$(mktemp -d)
trap 'rm -rf "$data"' EXIT
mkdir -p "$out"

export MOXEL_DATA_DIR="$data"
# A free port instead of 110, and no update check (this machine has no internet).
"$moxel" settings set PopPort "$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')" >/dev/null
"$moxel" settings set LiveUpdate false >/dev/null
MOXEL_SCREENSHOT_DIR="$PWD/$out" xvfb-run -a -s "-screen 0 1280x800x24" timeout 60 "$moxel"
ls -1 "$out"
