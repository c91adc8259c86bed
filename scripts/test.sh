#!/usr/bin/env bash
# Checks the sources' layout and layers, builds Pirune with warnings as errors and runs every
# test (unit, widget, robustness with the fuzzer, end-to-end) and clang-tidy.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
scripts/check-format.sh
scripts/check-layers.sh
# With clang++ the one build also makes the libFuzzer target. A debug build keeps Qt's own checks
# (an index out of range stops the test that made it) and builds faster.
compiler=()
command -v clang++ >/dev/null && compiler=(-DCMAKE_CXX_COMPILER=clang++)
cmake -S . -B build -DCMAKE_BUILD_TYPE=Debug -DPIRUNE_WERROR=ON "${compiler[@]}"
# clang-tidy needs only the compile commands and takes minutes of CPU: at the lowest priority
# from here on, beside the build and then the tests, which mostly wait.
nice -n 19 scripts/check-tidy.sh build >build/check-tidy.log 2>&1 &
tidy=$!
trap 'kill "$tidy" 2>/dev/null || true' EXIT
cmake --build build -j"$(nproc)"
status=0
# Three at a time: the end-to-end sessions mostly wait for a minute to pass, each on its own
# display and bus.
ctest --test-dir build --output-on-failure --timeout 600 -j3 "$@" || status=$?
wait "$tidy" || status=1
cat build/check-tidy.log
exit "$status"
