#!/usr/bin/env bash
# Starts the real program with two POP3 accounts on the private mail server, one of them
# with a wrong password, on a private X display with a tray, and drives it from outside:
# Check Now from the tray menu, the popups of the check at the bottom right of the screen,
# and Exit from the tray menu. With KORVANE_SCREENSHOT_DIR set it saves the open tray menu
# (tray-menu.png) and two popups on screen (popups.png) there.
# Usage: tray_popup.sh <path of the korvane program>
# Needs KORVANE_MAILSERVER: the file that names the folder of a running mailserver.sh server.
program=$1
declare -A place # a popup's highest place seen: "x y width height"
order=() # the popups by their appearance
# shellcheck source=desktop_lib.sh
source "$(dirname "$0")/desktop_lib.sh"
mailserver="$(dirname "$0")/../../scripts/mailserver.sh"

[ -n "${KORVANE_MAILSERVER:-}" ] || fail "KORVANE_MAILSERVER is not set"
server_dir=$(cat "$KORVANE_MAILSERVER") || fail "no mail server recorded in $KORVANE_MAILSERVER"
pop3_port=$(sed -n 's/^POP3_PORT=//p' "$server_dir/env")
[ -n "$pop3_port" ] || fail "the mail server names no POP3 port"

start_desktop
install_program "$program"
log=$app/Spam.log

# What was on screen and in the files when a check failed.
show_failure_details() {
    echo "--- windows"
    window_list
    echo "--- popups seen (id, highest place)"
    for id in "${order[@]}"; do echo "$id ${place[$id]}"; done
    echo "--- Spam.log"
    tail -n 20 "${log:-/dev/null}" 2>/dev/null || true
    echo "--- program output"
    tail -n 20 "$work/program.log" 2>/dev/null || true
}

# 1. The mailboxes and the data folder, prepared before the start: Accounts.ini in the
# program's own format (passwords scrambled as it scrambles them), and both accounts set to
# plain connections, as the account editor's "None" security stores it, since the test
# server's certificate is signed by an authority this desktop does not trust.
bash "$mailserver" user "$KORVANE_MAILSERVER" tray-good right-password
bash "$mailserver" user "$KORVANE_MAILSERVER" tray-bad right-password
# Written today: older mail would be deleted by its age and wait for the user's review.
today=$(date -R)
for n in 1 2; do
    printf 'From: <friend%s@example.org>\r\nTo: <tray-good@example.org>\r\nSubject: Notes %s\r\nDate: %s\r\nMessage-ID: <tray-notes-%s@example.org>\r\n\r\nThe notes of the meeting, part %s.\r\n' \
        "$n" "$n" "$today" "$n" "$n" >"$work/message$n.eml"
done
bash "$mailserver" load "$KORVANE_MAILSERVER" tray-good "$work/message1.eml" "$work/message2.eml"

python3 - "$app/Accounts.ini" "$XDG_CONFIG_HOME/Tessaly/Korvane 3.2.conf" "$pop3_port" <<'PY'
import base64, os, sys
accounts, settings, port = sys.argv[1], sys.argv[2], sys.argv[3]
def scrambled(password):
    return base64.b64encode(bytes((b - 1) % 256 for b in password.encode())).decode()
rows = [("POP3", "Home", "127.0.0.1", "tray-good", "right-password"),
        ("POP3", "Office", "127.0.0.1", "tray-bad", "wrong-password")]
with open(accounts, "w", newline="") as f:
    for kind, name, server, user, password in rows:
        f.write("\r\n".join([kind, name, server, user, scrambled(password), port]) + "\r\n")
# The settings store's key of an account's security, escaped as the store writes its keys.
os.makedirs(os.path.dirname(settings), exist_ok=True)
with open(settings, "w") as f:
    f.write("[Security]\n")
    for kind, _, server, user, _ in rows:
        f.write(f"{kind}%2C{user}%2C{server}%2C{port}\\Mode=None\n")
PY

korvane=$(start); pids+=("$korvane")
tray=$(wait_window "$korvane" Korvane tray) || fail "no tray icon"
ok "the program starts with the two accounts"

# 2. Check Now from the tray menu, by its key.
open_tray_menu "$tray"
if [ -n "${KORVANE_SCREENSHOT_DIR:-}" ]; then
    mkdir -p "$KORVANE_SCREENSHOT_DIR"
    import -window root "$work/menu.png"
    convert "$work/menu.png" -crop 300x220+980+580 +repage "$KORVANE_SCREENSHOT_DIR/tray-menu.png"
fi
xdotool key c

# 3. The popups of the check, until the check has ended and the last popup has gone.
popups_on_screen() {
    local id WINDOW X Y WIDTH HEIGHT SCREEN
    for id in $(xdotool search --onlyvisible --name '^Korvane popup$' 2>/dev/null | sort -n); do
        X=
        eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null)"
        [ -n "$X" ] || continue # gone meanwhile
        echo "$id $X $Y $WIDTH $HEIGHT"
    done
}
finished="Finished Checking All Account's"
overlaps=0
first_overlap=
pairs=0
shot=
for _ in $(seq 1200); do
    mapfile -t shown < <(popups_on_screen)
    for line in "${shown[@]}"; do
        read -r id x y w h <<<"$line"
        if [ -z "${place[$id]:-}" ]; then
            order+=("$id")
            place[$id]="$x $y $w $h"
        else
            read -r _ top _ _ <<<"${place[$id]}"
            [ "$y" -ge "$top" ] || place[$id]="$x $y $w $h"
        fi
    done
    # Two at once: each later popup stands wholly above every earlier one.
    if [ "${#shown[@]}" -ge 2 ]; then
        pairs=$((pairs + 1))
        for earlier in "${shown[@]}"; do
            for later in "${shown[@]}"; do
                # X gives a client's windows rising ids: the higher one is the later popup.
                read -r eid _ ey _ _ <<<"$earlier"
                read -r lid _ ly _ lh <<<"$later"
                [ "$lid" -gt "$eid" ] || continue
                [ $((ly + lh)) -le "$ey" ] && continue
                overlaps=$((overlaps + 1))
                [ -n "$first_overlap" ] || first_overlap="earlier $earlier, later $later"
            done
        done
        if [ -n "${KORVANE_SCREENSHOT_DIR:-}" ] && [ -z "$shot" ]; then
            sleep 0.3 # the later one's rise
            import -window root "$work/popups.png"
            convert "$work/popups.png" -crop 300x420+980+380 +repage \
                "$KORVANE_SCREENSHOT_DIR/popups.png"
            shot=1
        fi
    fi
    if [ "${#shown[@]}" -eq 0 ] && [ "${#order[@]}" -gt 0 ] && grep -qF "$finished" "$log"; then
        break
    fi
    sleep 0.05
done
grep -qF "$finished" "$log" || fail "the check did not finish"
grep -q 'POP3 Error:.*-ERR' "$log" || fail "Spam.log tells no POP3 error for the wrong password"
for n in 1 2; do
    tr -d '\r' <"$app/History.ini" | grep -qx "Notes $n" || fail "message $n is not in the history"
done
kept=$(find "$server_dir/mail/tray-good" -type f -name '*korvane*' | wc -l)
[ "$kept" -eq 2 ] || fail "$kept of the 2 messages are left on the server"
ok "the check read the good account, kept its mail and told the other's error"

[ "${#order[@]}" -ge 2 ] || fail "${#order[@]} popups appeared, expected the error's and the end's"
for id in "${order[@]}"; do
    read -r x y w h <<<"${place[$id]}"
    right=$((x + w))
    [ "$right" -ge $((screen_width - 1)) ] && [ "$right" -le $((screen_width + 1)) ] \
        || fail "popup $id ends at x=$right, not at the screen's right edge"
    [ "$y" -ge 0 ] && [ $((y + h)) -le "$screen_height" ] \
        || fail "popup $id rests at y=$y..$((y + h)), not wholly on the screen"
done
read -r _ y _ _ <<<"${place[${order[0]}]}"
[ "$y" -ge $((screen_height / 2)) ] || fail "the first popup rests at y=$y, above the screen's lower half"
ok "${#order[@]} popups rose at the bottom right"
[ "$pairs" -gt 0 ] || fail "never two popups on screen at once"
[ "$overlaps" -eq 0 ] || fail "$overlaps times a later popup was not wholly above an earlier one," \
    "first at (id x y width height): $first_overlap"
ok "popups on screen together stand one above the other"

# 4. A popup never takes the focus: with the history viewer active, the popups of a second
# check leave it active.
xdotool mousemove --window "$tray" 8 8 click 1
viewer=$(wait_window "$korvane" " Korvane" dialog) || fail "the history viewer did not open"
xdotool windowactivate --sync "$viewer"
[ "$(xdotool getactivewindow)" = "$viewer" ] || fail "the history viewer could not be made active"
tray_menu "$tray" c
for _ in $(seq 200); do
    [ -n "$(xdotool search --onlyvisible --name '^Korvane popup$' 2>/dev/null)" ] && break
    sleep 0.05
done
[ -n "$(xdotool search --onlyvisible --name '^Korvane popup$' 2>/dev/null)" ] \
    || fail "the second check showed no popup"
sleep 0.3 # its rise
active=$(xdotool getactivewindow)
[ "$active" = "$viewer" ] || fail "the active window is $active ($(xdotool getwindowname "$active")), not the viewer"
for _ in $(seq 300); do
    [ "$(grep -cF "$finished" "$log")" -ge 2 ] && break
    sleep 0.1
done
ok "a popup leaves the focus where it was"

# 5. Exit from the tray menu: the tray icon goes, then the program.
tray_menu "$tray" x
for _ in $(seq 100); do
    xwininfo -id "$tray" >/dev/null 2>&1 || break
    sleep 0.1
done
! xwininfo -id "$tray" >/dev/null 2>&1 || fail "the tray icon is still there after Exit"
wait_exit "$korvane" || fail "Exit did not end the program"
ok "Exit removes the tray icon and ends the program"

echo "$passed passed, 0 failed"
