#!/usr/bin/env bash
# Builds the loader's libFuzzer target with clang in its own build folder and runs it on the
# corpus, then on inputs it makes, for a while. Exits 77 (skipped) without clang's libFuzzer.
#   run_fuzz.sh <source dir> <build dir> [seconds]
set -euo pipefail
src=$1 build=$2 seconds=${3:-30}
clang=${PIRUNE_FUZZ_CXX:-$(command -v clang++ || true)}
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' >"$probe/p.cpp"
if [[ -z $clang ]] || ! "$clang" -fsanitize=fuzzer "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
    echo "no clang++ with libFuzzer (libclang-rt-dev): fuzzing skipped"
    exit 77
fi
cmake -S "$src" -B "$build" -DCMAKE_CXX_COMPILER="$clang" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIRUNE_FUZZ=ON \
    -DPIRUNE_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" >/dev/null
cmake --build "$build" --target fuzz_load -j"$(nproc)" >/dev/null
mkdir -p "$build/fuzz-corpus"
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 "$build/tests/robustness/fuzz_load" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$build/" \
    -print_final_stats=1 "$build/fuzz-corpus" "$src/tests/robustness/corpus"
