#!/usr/bin/env bash
# Cross-builds Pirune.exe and its unit tests for Windows (scripts/build-windows.sh --tests) and runs
# them under Wine on a headless X server, then the zip's start-at-login scripts and the journey of
# Pirune.exe beside a real notification area. Wine hands no QT_* variable to a Windows program: the platform goes on the
# command line.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build-windows.sh --tests
root=$(mktemp -d)
xvfb=
finish() {
    WINEPREFIX=$root/wine wineserver -k 2>/dev/null || true
    [[ -n $xvfb ]] && kill "$xvfb" 2>/dev/null
    rm -rf "$root"
}
trap finish EXIT
export WINEPREFIX=$root/wine WINEDEBUG=-all TZ=Asia/Tokyo
Xvfb -displayfd 3 -screen 0 1280x1024x24 -noreset 3>"$root/display" >/dev/null 2>&1 &
xvfb=$!
for _ in $(seq 100); do [[ -s $root/display ]] && break; sleep 0.1; done
export DISPLAY=:$(cat "$root/display")
wineboot -i >/dev/null 2>&1

status=0
for test in test_store "test_gui -platform offscreen" test_windows; do
    set -- $test
    log=$root/$1.txt
    if wine "build-windows/$1.exe" "${@:2}" -o "$log,txt" >/dev/null 2>&1; then
        echo "$1: $(grep '^Totals' "$log")"
    else
        grep -v '^PASS' "$log" || echo "$1 did not start"
        status=1
    fi
done
if tests/e2e/start_at_login_wine.sh build-windows/package/Pirune; then
    echo "start at login: ok"
else
    status=1
fi
(cd tests/e2e && PIRUNE_EXE=$PWD/../../build-windows/Pirune.exe python3 -m unittest -v test_wine_e2e) ||
    status=1
exit "$status"
