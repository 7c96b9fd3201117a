#!/usr/bin/env bash
# The command line of the real program, copied into an empty folder: --version and --help
# without a display, --check-now and --quit without a running copy, then against a copy
# running on a private X display with a window manager and a panel with a tray.
# Usage: command_line.sh <path of the korvane program>
program=$1
source "$(dirname "$0")/desktop_lib.sh"

private_home
install_program "$program"
settings="$XDG_CONFIG_HOME/Tessaly/Korvane 3.2.conf"

# Runs the program with the given options and no display at all; its status, standard
# output and error output land in $status, $work/out and $work/err.
run_headless() {
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$app/korvane" "$@" \
        >"$work/out" 2>"$work/err" || status=$?
}
# Every file under the work folder but the two that catch the output.
files() { (cd "$work" && find . ! -path ./out ! -path ./err | sort); }

# 1. Version and help need neither a display nor a file.
before=$(files)
run_headless --version
[ "$status" = 0 ] || fail "--version ended with $status: $(cat "$work/err")"
[ "$(cat "$work/out")" = "Korvane 3.2" ] || fail "--version printed: $(cat "$work/out")"
run_headless --help
[ "$status" = 0 ] || fail "--help ended with $status: $(cat "$work/err")"
for option in --check-now --quit --version --help; do
    grep -q -e "$option" "$work/out" || fail "--help does not list $option"
done
grep -q 'spam' "$work/out" || fail "--help does not describe Korvane"
[ "$(files)" = "$before" ] || fail "--version or --help made a file: $(diff <(echo "$before") <(files))"
ok "--version and --help without a display"

# 2. Without a running copy.
for option in --check-now --quit; do
    run_headless "$option"
    [ "$status" = 1 ] || fail "$option without a running copy ended with $status"
    [ "$(cat "$work/err")" = "Korvane is not running." ] || fail "$option said: $(cat "$work/err")"
    [ ! -s "$work/out" ] || fail "$option printed: $(cat "$work/out")"
done
[ "$(files)" = "$before" ] || fail "a request made a file: $(diff <(echo "$before") <(files))"
ok "--check-now and --quit without a running copy"

# 3. A running copy on a display with a tray.
start_display

begun() { grep -c 'Begin checking mail accounts' "$app/Spam.log" || true; }
# Waits until the log holds $1 lines of the check's end.
wait_check_ends() {
    for _ in $(seq 100); do
        [ "$(grep -c 'NO accounts to check\.!' "$app/Spam.log" || true)" -ge "$1" ] && return 0
        sleep 0.1
    done
    return 1
}

"$app/korvane" >>"$work/program.log" 2>&1 & running=$!; pids+=("$running")
box=$(wait_window "$running" Korvane dialog) || fail "the question about accounts did not appear"
xdotool windowactivate --sync "$box" key Escape
wait_window "$running" "Korvane Settings" dialog >/dev/null || fail "the settings window did not appear"
[ "$(begun)" = 0 ] || fail "a check ran before it was asked for"

for n in 1 2; do
    run_headless --check-now
    [ "$status" = 0 ] || fail "--check-now number $n ended with $status: $(cat "$work/err")"
    [ "$(cat "$work/out")" = "A check has started." ] || fail "--check-now said: $(cat "$work/out")"
    wait_check_ends "$n" || fail "check number $n did not end with its log line"
    [ "$(begun)" = "$n" ] || fail "the log shows $(begun) checks begun after request $n"
done
ok "--check-now starts a check in the running copy, twice"

grep -q '^Enabled=' "$settings" 2>/dev/null && fail "the settings were stored before the end"
run_headless --quit
[ "$status" = 0 ] || fail "--quit ended with $status: $(cat "$work/err")"
[ "$(cat "$work/out")" = "Korvane has quit." ] || fail "--quit said: $(cat "$work/out")"
wait_exit "$running" || fail "the running copy did not end"
grep -q '^Enabled=True' "$settings" || fail "the end did not store the settings"
[ ! -e "$XDG_RUNTIME_DIR/KorvaneRuningNow-$USER.lock" ] || fail "the marker was left behind"
run_headless --check-now
[ "$status" = 1 ] || fail "--check-now after the end ended with $status"
ok "--quit ends the running copy in order"

echo "$passed passed, 0 failed"
