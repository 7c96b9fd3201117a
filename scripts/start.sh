#!/usr/bin/env bash
# Installs what is missing, builds the program (without the tests and benchmarks, which
# scripts/test.sh builds), copies it into its own folder
# ($KORVANE_HOME, default ~/Korvane: that folder also holds its data files) and starts it.
# Without a desktop ($DISPLAY unset) it starts a private X display with a panel and tray.
#
# With --demo it starts a demo instead: a private mail server on 127.0.0.1 with a demo
# mailbox of a few hundred messages, ham and spam, and Korvane in a folder of its own
# ($KORVANE_DEMO_HOME, default ~/.local/share/Korvane-demo) with its own settings, set up to
# check that mailbox a few seconds after the start and to delete nothing without asking.
# The demo never reads or writes ~/Korvane or the user's settings. When Korvane exits, the
# demo's mail server stops; it also stops by itself after 12 hours.
set -euo pipefail
cd "$(dirname "$0")/.."

demo=0
case "${1:-}" in
    "") ;;
    --demo) demo=1 ;;
    *) echo "usage: $0 [--demo]" >&2; exit 2 ;;
esac

# Only what runs here is built: the program, and for the demo its tool; the tests and the
# benchmarks are scripts/test.sh's.
if [ "$demo" = 1 ]; then
    bash scripts/deps.sh demo
    bash scripts/build.sh --demo
else
    bash scripts/deps.sh run
    bash scripts/build.sh --program
fi
build=${KORVANE_BUILD_DIR:-build}

# The program, the shipped language packs and their pictures and the user guide into $1.
# A pack the user has edited is kept; the guide is ours, not the user's: always the shipped one.
install_program() {
    local home=$1 pack guide
    mkdir -p "$home"
    install -m 755 "$build/src/korvane" "$home/korvane"
    mkdir -p "$home/Lang"
    for pack in lang/*.ini lang/*.bmp; do
        [ -e "$home/Lang/$(basename "$pack")" ] || install -m 644 "$pack" "$home/Lang/"
    done
    for guide in help/*.html; do
        install -m 644 "$guide" "$home/"
    done
}

use_display() {
    if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
        export XDG_RUNTIME_DIR=/tmp/runtime-$(id -un)
        mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    fi
    if [ -z "${DISPLAY:-}" ]; then
        local display=:42
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
}

start_demo() {
    local root=${KORVANE_DEMO_HOME:-${XDG_DATA_HOME:-$HOME/.local/share}/Korvane-demo}
    local app=$root/Korvane config=$root/config pointer=$root/mailserver
    local user=demo password=demo-password
    if pgrep -f -x "$app/korvane" >/dev/null; then
        echo "The Korvane demo already runs from $app."
        exit 0
    fi
    # Every demo starts afresh, so the folder is emptied; only a folder the demo made itself.
    if [ -e "$root" ] && [ ! -f "$root/.korvane-demo" ]; then
        echo "$root is not a folder of the Korvane demo; choose another with KORVANE_DEMO_HOME." >&2
        exit 1
    fi
    # The server of an earlier demo that did not end normally.
    bash scripts/mailserver.sh stop "$pointer"
    rm -rf "$app" "$config"
    mkdir -p "$root" "$config/Tessaly"
    chmod 700 "$root"
    : >"$root/.korvane-demo"
    install_program "$app"

    bash scripts/mailserver.sh start "$pointer" 43200 >/dev/null
    # Until Korvane runs, a failure stops the server again.
    demo_pointer=$pointer
    trap 'bash scripts/mailserver.sh stop "$demo_pointer"' EXIT
    local server port messages count
    server=$(cat "$pointer")
    port=$(sed -n 's/^POP3_PORT=//p' "$server/env")
    bash scripts/mailserver.sh user "$pointer" "$user" "$password"
    messages=$(mktemp -d)
    "$build/tools/korvane_demo" mailbox "$messages"
    bash scripts/mailserver.sh load "$pointer" "$user" "$messages"/*.eml
    count=$(find "$messages" -name '*.eml' | wc -l)
    rm -rf "$messages"
    "$build/tools/korvane_demo" setup "$app" "$config/Tessaly/Korvane 3.2.conf" "$port" \
        "$user" "$password"

    use_display
    # Korvane with the demo's settings store, a fallback data folder inside the demo folder
    # and an instance name of its own, so that it runs beside the user's Korvane; when it
    # exits, the demo's mail server stops.
    local mailserver
    mailserver=$(pwd)/scripts/mailserver.sh
    XDG_CONFIG_HOME=$config XDG_DATA_HOME=$root/share USER="${USER:-$(id -un)}-demo" \
        setsid nohup bash -c '"$1/korvane"; bash "$2" stop "$3"' demo "$app" "$mailserver" \
        "$pointer" </dev/null >/dev/null 2>&1 &
    trap - EXIT
    # The first check at once, instead of one check period after the start: asked of the
    # running program as soon as it answers.
    local asked=0
    for _ in $(seq 60); do
        if XDG_CONFIG_HOME=$config XDG_DATA_HOME=$root/share USER="${USER:-$(id -un)}-demo" \
            "$app/korvane" --check-now >/dev/null 2>&1; then
            asked=1
            break
        fi
        sleep 0.5
    done
    [ "$asked" = 1 ] || echo "Korvane did not start its first check; use Check Now in its tray menu." >&2
    echo "The Korvane demo runs from $app."
    echo "Its mailbox $user@127.0.0.1 (POP3, port $port) holds $count messages; the first check"
    echo "starts within seconds. Nothing is deleted without your consent: the tray menu offers"
    echo "the messages the rules would delete for review. Exit Korvane from its tray menu to"
    echo "end the demo and stop its mail server."
}

if [ "$demo" = 1 ]; then
    start_demo
    exit 0
fi

home=${KORVANE_HOME:-$HOME/Korvane}
if pgrep -f -x "$home/korvane" >/dev/null; then
    echo "Korvane already runs from $home."
    exit 0
fi

install_program "$home"
use_display
nohup "$home/korvane" >/dev/null 2>&1 &
echo "Korvane started from $home (process $!)."
