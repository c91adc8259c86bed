#!/usr/bin/env bash
# Checks the sources' layout and layers, builds Pirune with warnings as errors and runs every
# test (unit, widget, robustness with the fuzzer, end-to-end).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
scripts/check-format.sh
scripts/check-layers.sh
# With clang++ the one build also makes the libFuzzer target.
compiler=()
command -v clang++ >/dev/null && compiler=(-DCMAKE_CXX_COMPILER=clang++)
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIRUNE_WERROR=ON "${compiler[@]}"
cmake --build build -j"$(nproc)"
ctest --test-dir build --output-on-failure --timeout 600 "$@"
