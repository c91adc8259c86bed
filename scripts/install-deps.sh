#!/usr/bin/env bash
# Installs the Debian packages Pirune needs that are missing: "run" for building and starting it,
# "test" for building and running every test, "windows" for cross-building Pirune.exe and testing
# it under Wine.
set -euo pipefail

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# qt6-wayland: native Wayland sessions; libxcb1-dev: finding an X11 tray without asking Qt.
packages=(cmake g++ make pkg-config qt6-base-dev qt6-wayland libxcb1-dev qt6-translations-l10n fonts-ipafont-gothic)
# Japanese input through fcitx5 reaches Qt 6 windows only by this frontend, which fcitx5 merely
# recommends (ibus needs nothing: Qt carries its frontend).
installed fcitx5 && packages+=(fcitx5-frontend-qt6)
if [[ "${1:-run}" == "test" ]]; then
    packages+=(xvfb xauth trayer xdotool x11-utils xclip desktop-file-utils faketime imagemagick python3 libbenchmark-dev
               clang clang-tidy libclang-rt-dev dbus xfce4-panel x11-xserver-utils clang-format black openbox
               gnome-shell gnome-shell-extension-appindicator
               at-spi2-core python3-pyatspi   # the accessibility bus, and a screen reader's view of it
               python3-gi                     # a StatusNotifierWatcher of the tests' own
               sway wtype foot)               # Wayland that focuses each new window, typing, a terminal
fi
if [[ "${1:-run}" == "windows" ]]; then
    packages=(cmake ninja-build g++-mingw-w64-x86-64-posix qt6-base-dev qt6-base-dev-tools dpkg-dev
              xz-utils wine wine64 xvfb xauth trayer xdotool x11-utils xclip dbus python3
              fonts-ipafont-gothic)
fi

missing=()
for p in "${packages[@]}"; do
    installed "$p" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ "$(id -u)" -ne 0 ]] && sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
