#!/usr/bin/env bash
# Builds the loader's libFuzzer target with clang in its own build folder and runs it for a while.
#   run_fuzz.sh <source dir> <build dir> [seconds]
# Exits 77 (skipped) when clang or its fuzzer runtime is missing.
set -euo pipefail
src=$1
build=$2
seconds=${3:-30}
here=$src/tests/robustness

clang=${PIRUNE_FUZZ_CXX:-$(command -v clang++ || true)}
if [[ -z "$clang" ]]; then
    echo "clang++ not found: fuzzing skipped"
    exit 77
fi
probe=$(mktemp -d)
trap 'rm -rf "$probe"' EXIT
echo 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char *, unsigned long) { return 0; }' > "$probe/p.cpp"
if ! "$clang" -fsanitize=fuzzer "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
    echo "$clang cannot link libFuzzer (libclang-rt-dev missing?): fuzzing skipped"
    exit 77
fi

cmake -S "$src" -B "$build" -DCMAKE_CXX_COMPILER="$clang" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DPIRUNE_FUZZ=ON -DPIRUNE_BUILD_BENCH=OFF \
      -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" >/dev/null
cmake --build "$build" --target fuzz_load -j"$(nproc)" >/dev/null

fuzzer=$build/tests/robustness/fuzz_load
export ASAN_OPTIONS=detect_leaks=0
export UBSAN_OPTIONS=print_stacktrace=1
work=$build/fuzz-corpus
mkdir -p "$work"

# The big input is made here, not kept in the repository; it runs once, outside the mutation loop.
python3 - "$probe/ten-megabyte-line.dat" <<'PY'
import sys
line = b"2025/01/02 03:04\t" + ("長い行".encode("cp932") * 1750000) + b"\xff\t0"
open(sys.argv[1], "wb").write(line[:10 * 1024 * 1024])
PY
"$fuzzer" -timeout=60 -rss_limit_mb=4096 "$probe/ten-megabyte-line.dat" "$here"/corpus/*

status=0
"$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
          -artifact_prefix="$build/" -print_final_stats=1 "$work" "$here/corpus" >"$build/fuzz.log" 2>&1 || status=$?
grep -E "^#[0-9]+ +(INITED|DONE)|stat::|ERROR|round trip|SUMMARY|inputs checked|Test unit written" "$build/fuzz.log" || true
exit "$status"
