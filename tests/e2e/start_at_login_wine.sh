#!/usr/bin/env bash
# install-user.cmd puts its Pirune.exe, quoted, in the Run key; uninstall-user.cmd takes it out.
set -euo pipefail
folder=$(mktemp -d)/"Pirune folder"
mkdir "$folder" && cp "$1"/* "$folder" && cd "$folder"
run='HKCU\Software\Microsoft\Windows\CurrentVersion\Run'
wine cmd /c install-user.cmd /nostart >/dev/null
value=$(wine reg query "$run" /v Pirune | tr -d '\r')
expected="REG_SZ    \"$(winepath -w "$PWD/Pirune.exe")\""
grep -qF "$expected" <<<"$value" || { echo "Run key: $value; not $expected" && exit 1; }
wine cmd /c uninstall-user.cmd >/dev/null
! wine reg query "$run" /v Pirune >/dev/null 2>&1 || { echo "Run value left" && exit 1; }
rm -rf "$(dirname "$folder")"
