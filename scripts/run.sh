#!/usr/bin/env bash
# Builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --window

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVANTRY_BUILD_TESTS=OFF -DVANTRY_BUILD_BENCH=OFF >/dev/null
cmake --build build/release --parallel "$(nproc)"

exec build/release/ui/vantry
