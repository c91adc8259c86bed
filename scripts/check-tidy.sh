#!/usr/bin/env bash
# Runs clang-tidy (the checks in .clang-tidy: bugprone, performance, functions of at most 60
# lines) on every source file under src/, with the compile commands of the build folder given
# (default: build). Fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
command -v run-clang-tidy >/dev/null || { echo "check-tidy: clang-tidy is missing (scripts/install-deps.sh test)"; exit 1; }
[[ -f "$build/compile_commands.json" ]] || { echo "check-tidy: no $build/compile_commands.json"; exit 1; }
if ! out=$(run-clang-tidy -p "$build" -quiet -j"$(nproc)" "$PWD/src/" 2>&1); then
    echo "$out" | grep -E '(warning|error):' | grep -v 'warnings generated' | sort -u
    echo "check-tidy: findings above (see .clang-tidy)"
    exit 1
fi
echo "check-tidy: ok"
