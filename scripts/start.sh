#!/usr/bin/env bash
# Installs what is missing, builds Korvane, copies it into its own folder
# ($KORVANE_HOME, default ~/Korvane: that folder also holds its data files) and starts it.
# Without a desktop ($DISPLAY unset) it starts a private X display with a panel and tray.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
bash scripts/build.sh

home=${KORVANE_HOME:-$HOME/Korvane}
if pgrep -f -x "$home/korvane" >/dev/null; then
    echo "Korvane already runs from $home."
    exit 0
fi

mkdir -p "$home"
install -m 755 build/src/korvane "$home/korvane"
# The shipped language packs and their pictures; a pack the user has edited is kept.
mkdir -p "$home/Lang"
for pack in lang/*.ini lang/*.bmp; do
    [ -e "$home/Lang/$(basename "$pack")" ] || install -m 644 "$pack" "$home/Lang/"
done
# The user guide is ours, not the user's: always the shipped one.
for guide in help/*.html; do
    install -m 644 "$guide" "$home/"
done

if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    export XDG_RUNTIME_DIR=/tmp/runtime-$(id -un)
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
fi

if [ -z "${DISPLAY:-}" ]; then
    display=:42
    if ! [ -e /tmp/.X11-unix/X42 ]; then
        Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
        sleep 1
        DISPLAY=$display openbox >/dev/null 2>&1 &
        DISPLAY=$display tint2 >/dev/null 2>&1 &
        sleep 1
    fi
    export DISPLAY=$display
    echo "No desktop found: Korvane runs on the private display $display."
fi
nohup "$home/korvane" >/dev/null 2>&1 &
echo "Korvane started from $home (process $!)."
