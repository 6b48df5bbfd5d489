#!/usr/bin/env bash
# Builds the program and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --window

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVANTRY_BUILD_TESTS=OFF >/dev/null
cmake --build build/release --parallel "$(nproc)"

if [ -x build/release/ui/vantry ]; then
    exec build/release/ui/vantry
fi
echo "Vantry: le moteur est construit ; les fenêtres ne le sont pas encore, il n'y a rien à lancer."
