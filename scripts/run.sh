#!/usr/bin/env bash
# Builds Pirune and starts it (it keeps its notices in Pirune.dat beside the executable).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target Pirune
exec build/Pirune
