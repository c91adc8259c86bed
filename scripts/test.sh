#!/usr/bin/env bash
# Builds Pirune with warnings as errors and runs every test (unit, widget and end-to-end).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIRUNE_WERROR=ON
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure --timeout 600 "$@"
