#!/usr/bin/env bash
# The zip's install-user.cmd puts Pirune.exe of its own folder, quoted, in the user's Run key, and
# uninstall-user.cmd takes it out again. Runs under Wine in the prefix it is given.
set -euo pipefail
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
mkdir "$folder/Pirune folder"
cd "$folder/Pirune folder"
cp "$1"/* .
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
wine cmd /c install-user.cmd /nostart >/dev/null
value=$(wine reg query "$run" /v Pirune | tr -d '\r')
expected="\"$(winepath -w "$PWD/Pirune.exe")\""
grep -qF "REG_SZ    $expected" <<<"$value" || { echo "Run key: $value; not $expected"; exit 1; }
wine cmd /c uninstall-user.cmd >/dev/null
if wine reg query "$run" /v Pirune >/dev/null 2>&1; then
    echo "the Run value is left after uninstall-user.cmd"
    exit 1
fi
echo "start at login: ok"
