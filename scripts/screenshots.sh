#!/usr/bin/env bash
# Draws the README's pictures of the windows offscreen, into docs/screenshots.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake -S . -B build/screenshots -DCMAKE_BUILD_TYPE=Release -DVANTRY_BUILD_BENCH=OFF >/dev/null
cmake --build build/screenshots --parallel "$(nproc)" --target take_screenshots
mkdir -p docs/screenshots
build/screenshots/tests/ui/take_screenshots docs/screenshots
