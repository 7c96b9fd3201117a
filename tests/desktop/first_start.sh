#!/usr/bin/env bash
# Starts the real program, copied into an empty folder, on a private X display with a
# window manager and a panel with a tray, and drives it from outside as a user would:
# the first start, a second copy, the tray menu's Disable and Exit, and a second start.
# Usage: first_start.sh <path of the korvane program>
set -euo pipefail
program=$1
work=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

passed=0
fail() { echo "FAILED: $*" >&2; echo "$passed passed, 1 failed"; exit 1; }
ok() { echo "ok: $*"; passed=$((passed + 1)); }

# A display number nobody uses.
display=
for n in $(seq 90 140); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || fail "no free X display"
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
export DISPLAY=$display
openbox >/dev/null 2>&1 & pids+=($!)
tint2 >/dev/null 2>&1 & pids+=($!)
sleep 1.5

export HOME=$work/home XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/share
export XDG_RUNTIME_DIR=$work/run USER=korvane-test-$$
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" "$work/app"
chmod 700 "$XDG_RUNTIME_DIR"
cp "$program" "$work/app/korvane"
app=$work/app

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
    local pid=$1 title=$2 kind=$3 line id size width
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
checksums() { (cd "$app" && find . -type f ! -name korvane | sort | xargs md5sum); }
# Right button on the tray icon, then keys in the menu.
tray_menu() {
    xdotool mousemove --window "$1" 8 8 click 3
    sleep 0.7
    shift
    xdotool key "$@"
}
answer_no_accounts_question() {
    local box
    box=$(wait_window "$1" Korvane dialog) || fail "the question about accounts did not appear"
    xdotool windowactivate --sync "$box" key Escape
}

# 1. The first start in an empty folder.
first=$(start); pids+=("$first")
answer_no_accounts_question "$first"
wait_window "$first" "Korvane Settings" dialog >/dev/null || fail "the settings window did not appear"
tray=$(wait_window "$first" Korvane tray) || fail "no tray icon"
files=$(cd "$app" && ls -A | sort | tr '\n' ' ')
[ "$files" = "Accounts.ini BadWords.ini BlockedList.ini FriendList.ini History.ini Mails Settings.ini Spam.log korvane " ] \
    || fail "unexpected files: $files"
for name in Accounts.ini BadWords.ini BlockedList.ini FriendList.ini History.ini; do
    [ ! -s "$app/$name" ] || fail "$name is not empty"
done
printf 'EXE;SRC;COM;BMP;JPG;\r\n' | cmp -s - "$app/Settings.ini" \
    || fail "Settings.ini holds $(od -An -c "$app/Settings.ini")"
printf 'Korvane Log File\r\n\r\n\r\n  Time                        Action\r\n____________               _____________\r\n' \
    | cmp -s - "$app/Spam.log" || fail "Spam.log does not hold exactly its header"
ok "the first start made exactly the data files"
before=$(checksums)

# 2. A second copy says that Korvane runs, adds no tray icon, writes nothing and ends.
second=$(start); pids+=("$second")
box=$(wait_window "$second" Korvane dialog) || fail "the second copy showed no message"
[ -z "$(windows_of "$second" Korvane | awk '{ split($2, size, "x"); if (size[1] <= 64) print }')" ] \
    || fail "the second copy has a tray icon"
xdotool windowactivate --sync "$box" key Return
wait_exit "$second" || fail "the second copy did not end"
[ "$(checksums)" = "$before" ] || fail "the second copy changed a data file"
ok "a second copy ends after its message and changes nothing"

# 3. Disable from the tray menu, then Exit: the checker's state is stored.
tray_menu "$tray" Up Up Return
sleep 0.5
tray_menu "$tray" x
wait_exit "$first" || fail "Exit did not end the program"
grep -q '^Enabled=False' "$XDG_CONFIG_HOME/Tessaly/Korvane 3.2.conf" || fail "Enabled was not stored as False"
ok "Disable and Exit store Enabled=False"

# 4. A second start changes no data file and keeps checking off.
third=$(start); pids+=("$third")
answer_no_accounts_question "$third"
tray=$(wait_window "$third" Korvane tray) || fail "no tray icon at the second start"
tray_menu "$tray" x
wait_exit "$third" || fail "Exit did not end the second start"
[ "$(checksums)" = "$before" ] || fail "the second start changed a data file"
grep -q '^Enabled=False' "$XDG_CONFIG_HOME/Tessaly/Korvane 3.2.conf" || fail "Enabled changed"
ok "a second start changes no data file"

echo "$passed passed, 0 failed"
