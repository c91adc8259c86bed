#!/usr/bin/env bash
# Installs Pirune for a made-up user (temporary HOME) with scripts/install-user.sh, checks what
# landed where and that the installed program runs with its Data file beside it, then uninstalls.
#   test_install.sh <source dir> <build dir>
set -euo pipefail
src=$1
build=$2

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME=$home
unset XDG_DATA_HOME XDG_CONFIG_HOME
export XDG_RUNTIME_DIR=$home
export QT_QPA_PLATFORM=offscreen

fail() { echo "FAIL: $*" >&2; exit 1; }
pass() { echo "ok: $*"; }

# Installing system-wide is refused (DESTDIR keeps a broken guard from writing to /usr).
if DESTDIR=$home/destdir cmake --install "$build" --prefix /usr/local >"$home/sys.log" 2>&1; then
    fail "cmake --install accepted /usr/local"
fi
grep -q "folder its user owns" "$home/sys.log" || fail "refusal without its reason: $(cat "$home/sys.log")"
[[ ! -e $home/destdir/usr/local/Pirune ]] || fail "the executable was installed under /usr/local"
pass "system-wide prefix refused"

"$src/scripts/install-user.sh" --build-dir "$build" >"$home/install.log" 2>&1 || { cat "$home/install.log"; fail "install-user.sh"; }
prefix=$home/.local/opt/pirune
exe=$prefix/Pirune
for f in "$exe" "$prefix/pirune.png" "$home/.local/share/applications/pirune.desktop" \
         "$home/.config/autostart/pirune.desktop"; do
    [[ -f $f ]] || fail "missing $f"
done
[[ -x $exe ]] || fail "$exe is not executable"
pass "files installed"

# Exec names the installed executable by its absolute path (quoted, as the entry format allows).
exec_of() { sed -n 's/^Exec=//p' "$1" | sed 's/^"\(.*\)"$/\1/; s/\\\\/\\/g'; }
for entry in "$home/.local/share/applications/pirune.desktop" "$home/.config/autostart/pirune.desktop"; do
    [[ $(grep -c '^\[Desktop Entry\]' "$entry") == 1 ]] || fail "$entry: no [Desktop Entry]"
    [[ $(exec_of "$entry") == "$exe" ]] || fail "$entry: Exec=$(exec_of "$entry"), not $exe"
    grep -qxF "Icon=$prefix/pirune.png" "$entry" || fail "$entry: Icon does not name the installed icon"
    grep -qxF "Type=Application" "$entry" || fail "$entry: Type"
    if command -v desktop-file-validate >/dev/null; then
        desktop-file-validate "$entry" || fail "$entry does not validate"
    fi
done
grep -q '^X-GNOME-Autostart-enabled=true' "$home/.config/autostart/pirune.desktop" || fail "autostart entry not enabled"
pass "desktop entries start $exe"

# The installed program keeps its Data file beside itself and stays single.
(cd / && exec "$exe") >"$home/run.log" 2>&1 &
pid=$!
for _ in $(seq 50); do [[ -f $prefix/Pirune.dat ]] && break; sleep 0.1; done
[[ -f $prefix/Pirune.dat ]] || { kill -9 $pid; fail "no Data file beside the installed executable"; }
kill -0 $pid || fail "installed program ended"
timeout 10 "$exe" || { kill -9 $pid; fail "second start did not hand over (exit $?)"; }
kill -0 $pid || fail "first instance ended after the second start"
printf '2099/01/01 00:00\tkeep me\t0\r\n' > "$home/notices"
kill $pid; wait $pid 2>/dev/null || true
pass "installed program runs with $prefix/Pirune.dat"

# Reinstalling keeps the notices; so does uninstalling, unless asked.
cp "$home/notices" "$prefix/Pirune.dat"
"$src/scripts/install-user.sh" --build-dir "$build" --no-autostart >/dev/null 2>&1 || fail "reinstall"
cmp -s "$home/notices" "$prefix/Pirune.dat" || fail "reinstalling changed the Data file"
"$src/scripts/uninstall-user.sh" >"$home/uninstall.log" 2>&1 || { cat "$home/uninstall.log"; fail "uninstall-user.sh"; }
for f in "$exe" "$prefix/pirune.png" "$home/.local/share/applications/pirune.desktop" \
         "$home/.config/autostart/pirune.desktop"; do
    [[ ! -e $f ]] || fail "left behind: $f"
done
cmp -s "$home/notices" "$prefix/Pirune.dat" || fail "uninstalling removed or changed the Data file"
"$src/scripts/uninstall-user.sh" --remove-data >/dev/null 2>&1 || fail "uninstall --remove-data"
[[ ! -e $prefix ]] || fail "$prefix left after --remove-data"
pass "uninstalled, notices kept until asked"
