#!/usr/bin/env bash
# Removes what scripts/install-user.sh installed. The Data file (your notices) stays unless
# --remove-data is given.
#   --prefix DIR     the folder given to install-user.sh (default ~/.local/opt/pirune)
#   --remove-data    also delete Pirune.dat (and Pirune.dat.lock beside it)
set -euo pipefail

prefix=$HOME/.local/opt/pirune
remove_data=no
while [[ $# -gt 0 ]]; do
    case "$1" in
        --prefix) prefix=$2; shift ;;
        --remove-data) remove_data=yes ;;
        *) echo "unknown option: $1" >&2; exit 2 ;;
    esac
    shift
done
apps=${XDG_DATA_HOME:-$HOME/.local/share}/applications
login=${XDG_CONFIG_HOME:-$HOME/.config}/autostart

if [[ -x "$prefix/Pirune" ]] && command -v fuser >/dev/null && fuser -s "$prefix/Pirune" 2>/dev/null; then
    echo "Pirune is running from $prefix: end it (tray menu 終了) and run this again." >&2
    exit 1
fi

# Only entries that start this installation's executable are ours to remove.
for entry in "$apps/pirune.desktop" "$login/pirune.desktop"; do
    if [[ -f "$entry" ]] && grep -qxF "Path=$prefix" "$entry"; then
        rm -f "$entry"
        echo "Removed $entry"
    fi
done
rm -f "$prefix/Pirune" "$prefix/pirune.png" "$prefix/share/pirune.desktop" "$prefix/share/pirune-autostart.desktop"
rmdir "$prefix/share" 2>/dev/null || true
if [[ $remove_data == yes ]]; then
    rm -f "$prefix/Pirune.dat" "$prefix/Pirune.dat.lock"
fi
if rmdir "$prefix" 2>/dev/null; then
    echo "Removed $prefix"
elif [[ -f "$prefix/Pirune.dat" ]]; then
    echo "Kept your notices: $prefix/Pirune.dat"
fi
command -v update-desktop-database >/dev/null && update-desktop-database -q "$apps" 2>/dev/null || true
exit 0
