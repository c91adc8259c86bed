#!/usr/bin/env bash
# Cross-builds Pirune for 64-bit Windows: build-windows/Pirune.exe, one self-contained program (Qt
# and the C++ runtime linked in, the icon and the version resource inside), and the zip for users
# beside it.
# With --tests, the unit tests too, to be run under Wine (scripts/test-windows.sh).
# The first run builds Qt 6.4.2 for Windows from Debian's own source (the version of the host
# tools Qt needs) into a cache outside the repository: 19 to 23 minutes on two cores. Later runs
# reuse it while its configuration is unchanged.
#   PIRUNE_WINDOWS_CACHE  where Qt for Windows is kept (default ~/.cache/pirune-windows)
set -euo pipefail
cd "$(dirname "$0")/.."
tests=OFF
[[ ${1:-} == --tests ]] && tests=ON
cache=${PIRUNE_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/pirune-windows}
scripts/install-deps.sh windows
mkdir -p "$cache"

# Debian's qt6-base source at the version of the installed host tools, fetched through a private
# source list: the deb-src twins of the machine's own Debian entries.
version=$(dpkg-query -W -f='${Version}' qt6-base-dev-tools)
source_dir=$cache/src/qtbase-$version
if [[ ! -f $source_dir/.complete ]]; then
    apt_dir=$cache/apt
    rm -rf "$apt_dir" "$source_dir"
    mkdir -p "$apt_dir/lists/partial" "$apt_dir/sources.list.d" "$cache/src"
    codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
    grep -h "^deb .*\b$codename" /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
        sed 's/^deb /deb-src /' >"$apt_dir/sources.list" || true
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -f $f ]] && grep -q "^Suites:.*\b$codename\b" "$f" &&
            sed 's/^Types: deb$/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/$(basename "$f")"
    done
    apt=(apt-get -o "Dir::Etc::sourcelist=$apt_dir/sources.list"
         -o "Dir::Etc::sourceparts=$apt_dir/sources.list.d" -o "Dir::State::Lists=$apt_dir/lists"
         -o APT::Get::List-Cleanup=0 -o APT::Sandbox::User=root)
    "${apt[@]}" update -qq
    (cd "$cache/src" && "${apt[@]}" source --download-only "qt6-base=$version" &&
        dpkg-source -x qt6-base_*.dsc "$source_dir" >/dev/null && rm -f qt6-base_*)
    touch "$source_dir/.complete"
fi

# Static Qt for Windows, kept per configuration. No D-Bus, OpenGL or ICU: Windows has its own;
# Debian's source leaves out the tablet header wintab.h, hence no tablet events.
qt_options=(-xplatform win32-g++ -qt-host-path /usr -static -release -nomake tests -nomake examples
            -no-opengl -no-dbus -no-icu -no-zstd -no-openssl -qt-zlib -qt-pcre -qt-libpng -qt-libjpeg
            -qt-freetype -qt-harfbuzz -no-feature-tabletevent -no-feature-sql
            -no-feature-printsupport -no-feature-vulkan)
key=$( (echo "$version ${qt_options[*]}"; cat cmake/mingw-w64-x86_64.cmake) | sha256sum | cut -c1-12)
qt=$cache/qt-$key
# Qt's own toolchain file names this one by its path: a copy in the cache outlives the clone.
toolchain=$cache/toolchain-$key.cmake
if [[ ! -f $qt/.complete ]]; then
    rm -rf "$qt" "$cache/qt-build"
    mkdir -p "$cache/qt-build"
    cp cmake/mingw-w64-x86_64.cmake "$toolchain"
    (cd "$cache/qt-build" &&
        "$source_dir/configure" "${qt_options[@]}" -prefix "$qt" -- \
            -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
            -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake >configure.log &&
        cmake --build . --parallel "$(nproc)" && cmake --install . >/dev/null)
    rm -rf "$cache/qt-build"
    touch "$qt/.complete"
fi

# Pirune, linked statically: only Windows' own DLLs are needed beside it.
"$qt/bin/qt-cmake" -S . -B build-windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DPIRUNE_WERROR=ON -DPIRUNE_BUILD_BENCH=OFF -DPIRUNE_BUILD_TESTS=$tests \
    -DCMAKE_EXE_LINKER_FLAGS="-static -static-libgcc -static-libstdc++" \
    -DCMAKE_CROSSCOMPILING_EMULATOR=wine >/dev/null
cmake --build build-windows --parallel "$(nproc)"
x86_64-w64-mingw32-strip build-windows/Pirune.exe

# The zip for users: the program, its README and the start-at-login scripts, in a folder of
# their own.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-windows/CMakeCache.txt)
zip=Pirune-$version-windows-x64.zip
rm -rf build-windows/package build-windows/Pirune-*.zip
mkdir -p build-windows/package/Pirune
cp build-windows/Pirune.exe resources/windows/* build-windows/package/Pirune/
(cd build-windows/package && cmake -E tar cf "../$zip" --format=zip Pirune)
ls -l build-windows/Pirune.exe "build-windows/$zip"
