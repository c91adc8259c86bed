#!/usr/bin/env bash
# run_fuzz.sh <source dir> <build dir> [seconds]: builds the loader's libFuzzer target with clang in that build
# folder and runs it on the corpus, then on inputs it makes. Exits 77 (skipped) without clang's libFuzzer.
set -euo pipefail
src=$1 build=$2 seconds=${3:-30} cxx=${PIRUNE_FUZZ_CXX:-clang++}
if ! echo 'extern "C" int LLVMFuzzerTestOneInput() { return 0; }' | "$cxx" -xc++ -fsanitize=fuzzer - -o /dev/null; then
    echo "no clang++ with libFuzzer (libclang-rt-dev): fuzzing skipped"
    exit 77
fi
sanitize="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined"
cmake -S "$src" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPIRUNE_FUZZ=ON \
    -DPIRUNE_BUILD_BENCH=OFF -DCMAKE_CXX_FLAGS="$sanitize" >/dev/null
cmake --build "$build" --target fuzz_load -j"$(nproc)" >/dev/null
mkdir -p "$build/fuzz-corpus"
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 "$build/tests/robustness/fuzz_load" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -artifact_prefix="$build/" \
    -print_final_stats=1 "$build/fuzz-corpus" "$src/tests/robustness/corpus"
