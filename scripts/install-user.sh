#!/usr/bin/env bash
# Builds Pirune and installs it for the current user: the program in ~/.local/opt/pirune (its
# Data file Pirune.dat lives beside it), an entry in the applications menu and one that starts it
# at login.
#   --no-autostart     no login entry
#   --prefix DIR       install into DIR instead of ~/.local/opt/pirune
#   --build-dir DIR    use (and build) this build folder instead of build-install
set -euo pipefail
cd "$(dirname "$0")/.."

prefix=$HOME/.local/opt/pirune
build=build-install
autostart=yes
while [[ $# -gt 0 ]]; do
    case "$1" in
        --no-autostart) autostart=no ;;
        --prefix) prefix=$2; shift ;;
        --build-dir) build=$2; shift ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
    shift
done
apps=${XDG_DATA_HOME:-$HOME/.local/share}/applications
login=${XDG_CONFIG_HOME:-$HOME/.config}/autostart

if [[ ! -f "$build/CMakeCache.txt" ]]; then
    scripts/install-deps.sh run
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPIRUNE_BUILD_TESTS=OFF -DPIRUNE_BUILD_BENCH=OFF >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target Pirune

# A running Pirune keeps its executable busy; replacing the file under it could fail half-way.
if [[ -x "$prefix/Pirune" ]] && command -v fuser >/dev/null && fuser -s "$prefix/Pirune" 2>/dev/null; then
    echo "Pirune is running from $prefix: end it (tray menu 終了) and run this again." >&2
    exit 1
fi
cmake --install "$build" --prefix "$prefix"

mkdir -p "$apps"
install -m 644 "$prefix/share/pirune.desktop" "$apps/pirune.desktop"
if [[ $autostart == yes ]]; then
    mkdir -p "$login"
    install -m 644 "$prefix/share/pirune-autostart.desktop" "$login/pirune.desktop"
fi
command -v update-desktop-database >/dev/null && update-desktop-database -q "$apps" 2>/dev/null || true

echo "Installed: $prefix/Pirune (Data file: $prefix/Pirune.dat)"
echo "Menu entry: $apps/pirune.desktop"
[[ $autostart == yes ]] && echo "Starts at login: $login/pirune.desktop"
exit 0
