#!/usr/bin/env bash
# Builds the program and starts it. The service keys and hosts are taken from
# the environment (VANTRY_ALLOCINE_PARTNER, VANTRY_ALLOCINE_SECRET,
# VANTRY_TMDB_API_KEY, the VANTRY_*_HOST settings, VANTRY_PRODUCT_PAGE); a
# setting that is not set builds with its default, a placeholder for the keys.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh --window

settings=()
for name in VANTRY_ALLOCINE_PARTNER VANTRY_ALLOCINE_SECRET VANTRY_TMDB_API_KEY \
    VANTRY_ALLOCINE_API_HOST VANTRY_ALLOCINE_WEB_HOST VANTRY_TMDB_API_HOST \
    VANTRY_TMDB_IMAGE_HOST VANTRY_TMDB_WEB_HOST VANTRY_VERSION_HOST VANTRY_PRODUCT_PAGE; do
    # Each run builds with what the environment says now, not with what an
    # earlier run left in the build's cache.
    if [ -n "${!name:-}" ]; then
        settings+=("-D$name=${!name}")
    else
        settings+=("-U$name")
    fi
done

cmake -S . -B build/release -DCMAKE_BUILD_TYPE=Release -DVANTRY_BUILD_TESTS=OFF -DVANTRY_BUILD_BENCH=OFF \
    "${settings[@]}" >/dev/null
cmake --build build/release --parallel "$(nproc)"

exec build/release/ui/vantry
