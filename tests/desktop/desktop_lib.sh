# The private desktop of the desktop tests: a display nobody uses, with a window manager and
# a panel with a tray, a home of its own, and the helpers that drive the real program from
# outside as a user would. Sourced by the tests; everything it starts ends with the script.

set -euo pipefail
work=$(mktemp -d)
pids=()
# A test may define before_cleanup to end what it started itself (a mail server, say).
cleanup() {
    if declare -F before_cleanup >/dev/null; then before_cleanup || true; fi
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

passed=0
# A test may define show_failure_details to print what it saw before it gives up.
fail() {
    echo "FAILED: $*" >&2
    if declare -F show_failure_details >/dev/null; then show_failure_details >&2 || true; fi
    echo "$passed passed, 1 failed"
    exit 1
}
ok() { echo "ok: $*"; passed=$((passed + 1)); }

screen_width=1280
screen_height=800

# Xvfb, openbox and tint2 on a free display.
start_display() {
    local display= n
    for n in $(seq 90 140); do
        if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
    done
    [ -n "$display" ] || fail "no free X display"
    Xvfb "$display" -screen 0 "${screen_width}x${screen_height}x24" -nolisten tcp >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
    export DISPLAY=$display
    openbox >/dev/null 2>&1 & pids+=($!)
    tint2 >/dev/null 2>&1 & pids+=($!)
    sleep 1.5
}

# A home, configuration and runtime folder under $work, so that nothing of the user running
# the tests is read or changed.
private_home() {
    export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/share
    export XDG_RUNTIME_DIR=$work/run USER=korvane-test-$$
    mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/app"
    chmod 700 "$XDG_RUNTIME_DIR"
}

start_desktop() {
    start_display
    private_home
}

# The program copied into $work/app, an empty folder that becomes its data folder.
install_program() {
    cp "$1" "$work/app/korvane"
    app=$work/app
}

# Starts the program in the background and prints its process id.
start() { "$app/korvane" >>"$work/program.log" 2>&1 & echo $!; }

# The windows of a process whose title is exactly $2, with their sizes.
windows_of() {
    local pid=$1 title=$2 id
    for id in $(xdotool search --pid "$pid" 2>/dev/null); do
        [ "$(xdotool getwindowname "$id" 2>/dev/null)" = "$title" ] || continue
        echo "$id $(xdotool getwindowgeometry "$id" | sed -n 's/.*Geometry: //p')"
    done
}
# Waits for a window of the process with that title; the tray icon (22x22 or so) is told
# apart from the dialogs by its size. $3 is "tray" or "dialog".
wait_window() {
    local pid=$1 title=$2 kind=$3 id size width
    for _ in $(seq 150); do
        while read -r id size; do
            [ -n "$id" ] || continue
            width=${size%x*}
            if { [ "$kind" = tray ] && [ "$width" -le 64 ]; } || { [ "$kind" = dialog ] && [ "$width" -gt 64 ]; }; then
                echo "$id"; return 0
            fi
        done < <(windows_of "$pid" "$title")
        sleep 0.1
    done
    return 1
}
wait_exit() {
    local pid=$1
    for _ in $(seq 100); do kill -0 "$pid" 2>/dev/null || return 0; sleep 0.1; done
    return 1
}
# Right button on the tray icon; the menu is open when this returns.
open_tray_menu() {
    xdotool mousemove --window "$1" 8 8 click 3
    sleep 0.7
}
# Right button on the tray icon, then keys in the menu.
tray_menu() {
    open_tray_menu "$1"
    shift
    xdotool key "$@"
}
# Every named window on the display with its place, for a failure's report.
window_list() { xwininfo -root -tree 2>/dev/null | grep -E '^ +0x' | grep -v '(has no name)' || true; }
