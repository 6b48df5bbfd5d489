#!/usr/bin/env bash
# Builds the readers' fuzz targets with clang, as the README does, and runs each
# for a fixed number of inputs: every stored answer, then mutations of them
# from a fixed seed. Fails if a target no longer builds, or if a reader crashes,
# hangs or trips a sanitizer. Usage: fuzz-smoke.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."

dir=${1:-build/fuzz-smoke}
runs=10000

CC=clang CXX=clang++ cmake -S . -B "$dir" -DVANTRY_FUZZ=ON >/dev/null
cmake --build "$dir" --parallel "$(nproc)"

rm -rf "$dir/smoke"
passed=0
failed=0
for reader in ReadFicheAc ReadFicheTmdb ReadSearchAc ReadSearchTmdb; do
    # New inputs go to a scratch corpus, first on the line; the stored answers
    # are only read. A crashing input is left beside the log.
    scratch=$dir/smoke/$reader
    mkdir -p "$scratch/corpus"
    if UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
        "$dir/tests/fuzz/fuzz_$reader" -runs=$runs -seed=1 -timeout=10 \
        -dict=tests/fuzz/answers.dict -artifact_prefix="$scratch/" \
        "$scratch/corpus" tests/data/answers >"$scratch/log" 2>&1; then
        echo "fuzz_$reader: $runs runs from the stored answers, no fault"
        passed=$((passed + 1))
    else
        cat "$scratch/log"
        echo "fuzz_$reader: FAILED, see $scratch/"
        failed=$((failed + 1))
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ] && rm -rf "$dir/smoke"
[ "$failed" -eq 0 ]
