#!/usr/bin/env bash
# Installs what is missing, builds Moxel and runs it. Extra arguments go to moxel; without a
# display Moxel runs headless (stop it with Ctrl+C).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build/app -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DMOXEL_BUILD_TESTS=OFF -DMOXEL_BUILD_BENCH=OFF
cmake --build build/app

args=("$@")
if [ ${#args[@]} -eq 0 ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  args=(--headless)
fi
exec build/app/Gui/moxel "${args[@]}"
