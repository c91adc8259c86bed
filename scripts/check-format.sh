#!/usr/bin/env bash
# Fails, listing them, when tracked C++ files under src/, tests/ and bench/ are not laid out as
# `clang-format --style=file` lays them out, or tracked Python files as `black -l 100` does.
set -euo pipefail
cd "$(dirname "$0")/.."
for tool in clang-format black; do
    command -v "$tool" >/dev/null || { echo "check-format: $tool is missing (scripts/install-deps.sh test)"; exit 1; }
done

bad=()
note() { bad+=("$1"); }
while IFS= read -r -d '' f; do
    [[ -f "$f" ]] || continue
    clang-format --style=file --dry-run -Werror "$f" >/dev/null 2>&1 || note "$f"
done < <(git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h')
while IFS= read -r -d '' f; do
    [[ -f "$f" ]] || continue
    black --check --quiet -l 100 "$f" 2>/dev/null || note "$f"
done < <(git ls-files -z -- '*.py')

if [[ ${#bad[@]} -gt 0 ]]; then
    echo "check-format: not as clang-format --style=file / black -l 100 lay them out:"
    printf '  %s\n' "${bad[@]}"
    echo "fix with: clang-format -i --style=file FILE.cpp / black -l 100 FILE.py"
    exit 1
fi
echo "check-format: ok"
