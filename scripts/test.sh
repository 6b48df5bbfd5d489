#!/usr/bin/env bash
# Builds every test twice, plainly and under AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs them all; then builds the fuzz targets
# with clang and runs each briefly on the stored answers. Fails on any failing
# test or fuzz target.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh

jobs=$(nproc)
export LC_ALL=fr_FR.UTF-8

run_suite() {
    local dir=$1
    shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" --parallel "$jobs"
    ctest --test-dir "$dir" --output-on-failure --parallel "$jobs" --timeout 300
}

echo "== plain build"
run_suite build/test
echo "== AddressSanitizer and UndefinedBehaviorSanitizer"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_suite build/sanitize -DVANTRY_SANITIZE=ON -DVANTRY_BUILD_BENCH=OFF
echo "== fuzz targets with clang, on the stored answers"
bash scripts/fuzz-smoke.sh
