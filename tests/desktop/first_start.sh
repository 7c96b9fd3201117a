#!/usr/bin/env bash
# Starts the real program, copied into an empty folder, on a private X display with a
# window manager and a panel with a tray, and drives it from outside as a user would:
# the first start, a second copy, the tray menu's Disable and Exit, and a second start.
# Usage: first_start.sh <path of the korvane program>
program=$1
# shellcheck source=desktop_lib.sh
source "$(dirname "$0")/desktop_lib.sh"
start_desktop
install_program "$program"

checksums() { (cd "$app" && find . -type f ! -name korvane | sort | xargs md5sum); }
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
