#!/usr/bin/env bash
# Builds the Debian package from a build tree, installs it with apt as a user would, checks
# what it put where (menu entry, icons, metadata, shipped packs and guide), and removes it
# again. Runs as root; the machine is left as it was found, also when a check fails.
# Usage: package_test.sh <build folder> <source folder> <version> <desktop id>
set -euo pipefail
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
version=$3
id=$4

passed=0
fail() { echo "FAILED: $*" >&2; echo "$passed passed, 1 failed"; exit 1; }
ok() { echo "ok: $*"; passed=$((passed + 1)); }
skip() { echo "skipped: $*"; exit 77; }

package_state() { dpkg-query -W -f='${db:Status-Status}' korvane 2>/dev/null || true; }
[ "$(id -u)" = 0 ] || skip "installing a package needs root"
case "$(package_state)" in
    "" | not-installed) ;;
    *) skip "a korvane package is on this machine already; this test would replace it" ;;
esac

export DEBIAN_FRONTEND=noninteractive
# Another apt run (an install of build tools) may hold the lock for a while.
apt_get() { apt-get -o DPkg::Lock::Timeout=300 -q "$@"; }

work=$(mktemp -d)
installed=false
cleanup() {
    if $installed || [ -n "$(package_state | grep -v '^not-installed$')" ]; then
        apt_get remove -y korvane >/dev/null 2>&1 || true
        dpkg --purge korvane >/dev/null 2>&1 || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT
# apt reads the package file as its own unprivileged user.
chmod 755 "$work"

# The package, made in a folder of its own so that nothing in the build tree changes.
arch=$(dpkg --print-architecture)
deb=$work/out/korvane_${version}_${arch}.deb
(cd "$work" && cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out") \
    >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cpack"; }
[ -f "$deb" ] || fail "no $(basename "$deb") among: $(ls "$work/out")"
chmod 644 "$deb"
[ "$(dpkg-deb -f "$deb" Section)" = mail ] || fail "section: $(dpkg-deb -f "$deb" Section)"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libqt6widgets6' <<<"$depends" || fail "the libraries are not among the dependencies: $depends"
ok "package $(basename "$deb"), depends on $depends"

# Every dependency is on the machine already, as the build needed it: apt is to install
# Korvane alone, so that nothing is fetched and nothing is left behind after the removal.
apt_get install -s "$deb" >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get -s"; }
news=$(sed -n 's/^Inst \([^ ]*\).*/\1/p' "$work/apt.log" | tr '\n' ' ')
[ "$news" = "korvane " ] || fail "apt would install more than korvane: $news"
installed=true
apt_get install -y "$deb" >"$work/apt.log" 2>&1 \
    || { cat "$work/apt.log" >&2; fail "apt-get install"; }
[ "$(package_state)" = installed ] || fail "not installed after apt-get install"
dpkg -L korvane >"$work/files"
ok "installed"

expected=(/usr/bin/korvane /usr/share/korvane/Korvane.html
          "/usr/share/applications/$id.desktop" "/usr/share/metainfo/$id.metainfo.xml"
          "/usr/share/icons/hicolor/scalable/apps/$id.svg")
for size in 16 22 24 32 48 64 128 256; do
    expected+=("/usr/share/icons/hicolor/${size}x${size}/apps/$id.png")
done
for pack in "$source"/lang/*.ini "$source"/lang/*.bmp; do
    expected+=("/usr/share/korvane/Lang/$(basename "$pack")")
done
for path in "${expected[@]}"; do
    grep -qxF "$path" "$work/files" || fail "$path is not in the package"
    [ -f "$path" ] || fail "$path is not installed"
done
[ -x /usr/bin/korvane ] || fail "/usr/bin/korvane cannot be run"
cmp -s "$source/help/Korvane.html" /usr/share/korvane/Korvane.html || fail "another user guide"
ok "${#expected[@]} files where they belong"

# The menu entry starts the installed program and shows the installed icon.
entry=/usr/share/applications/$id.desktop
exec_line=$(sed -n 's/^Exec=//p' "$entry")
icon=$(sed -n 's/^Icon=//p' "$entry")
[ "$(command -v "${exec_line%% *}")" = /usr/bin/korvane ] || fail "Exec=$exec_line"
ls /usr/share/icons/hicolor/*/apps/"$icon".png >/dev/null 2>&1 || fail "Icon=$icon"
desktop-file-validate "$entry" || fail "desktop-file-validate"
# Offline: the screenshots' addresses are not fetched.
appstreamcli validate --no-net "/usr/share/metainfo/$id.metainfo.xml" || fail "appstreamcli"
ok "menu entry and metadata"

# The program itself, as an ordinary user whose files all stay in this test's folder: an
# installed program's folder is not writable by users.
user=$work/user
mkdir -p "$user/run" "$user/tmp" && chmod 700 "$user/run" && chown -R 65534:65534 "$user"
as_user() {
    env -i PATH=/usr/bin:/bin HOME="$user" XDG_CONFIG_HOME="$user/config" \
        XDG_DATA_HOME="$user/share" XDG_RUNTIME_DIR="$user/run" TMPDIR="$user/tmp" \
        QT_QPA_PLATFORM=offscreen \
        setpriv --reuid=65534 --regid=65534 --clear-groups \
        timeout -k 5 15 /usr/bin/korvane "$@" 2>&1 || true
}
if as_user --help | grep -q -e '--version'; then
    shown=$(as_user --version)
    grep -qF "$version" <<<"$shown" || fail "korvane --version says: $shown"
    ok "korvane --version: $shown"
fi

# The README's picture of the menu entry, as an application launcher lists it.
if [ -n "${KORVANE_SCREENSHOT_DIR:-}" ]; then
    for n in $(seq 141 160); do [ -e "/tmp/.X11-unix/X$n" ] || break; done
    Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & xvfb=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    mkdir -p "$work/launcher"
    DISPLAY=":$n" HOME="$work/launcher" rofi -show drun -filter Korvane -show-icons \
        -theme-str 'element-icon { size: 2em; }' >/dev/null 2>&1 & launcher=$!
    sleep 2.5
    mkdir -p "$KORVANE_SCREENSHOT_DIR"
    # The launcher's window, down to its first entry.
    X=
    eval "$(DISPLAY=":$n" xdotool search --class rofi getwindowgeometry --shell 2>/dev/null)"
    [ -n "$X" ] || fail "the launcher showed no window"
    DISPLAY=":$n" import -window root "$work/launcher.png"
    convert "$work/launcher.png" -crop "${WIDTH}x80+$X+$Y" +repage \
        "$KORVANE_SCREENSHOT_DIR/menu-entry.png"
    kill "$launcher" "$xvfb" 2>/dev/null || true
    wait "$launcher" "$xvfb" 2>/dev/null || true
    ok "pictured the menu entry"
fi

installed=false
apt_get remove -y korvane >"$work/apt.log" 2>&1 || { cat "$work/apt.log" >&2; fail "apt-get remove"; }
while read -r path; do
    [ -d "$path" ] && continue
    [ ! -e "$path" ] || fail "$path is still there after the removal"
done <"$work/files"
[ ! -e /usr/share/korvane ] || fail "/usr/share/korvane is still there after the removal"
ok "removed"
echo "$passed passed, 0 failed"
