#!/usr/bin/env bash
# A second start of the program by the same user ends at once; the first,
# covered by another window meanwhile, comes forward and runs on alone.
source "$(dirname "$0")/e2e_lib.sh"

start_xvfb
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
xmessage -title cover "another program" &
cover_pid=$!
cover=$(wait_window cover)
(cd "$RUN_DIR" && timeout "$WAIT_SECONDS" "$TANDEMIX") >"$WORK/second.log" 2>&1 || fail "the second start: status $?"
kill -0 "$APP_PID" || fail "the first program ended"
[ "$(xdotool search --onlyvisible --name "$(title_pattern "TX(Tandemix)Ver.3")" | wc -l)" -eq 1 ] ||
    fail "more than one main window"
# Without a window manager the root lists its windows from the top down.
waited=0
until xwininfo -root -children | awk -v main="$(printf '0x%x' "$main")" -v cover="$(printf '0x%x' "$cover")" \
    '$1 == cover { exit 1 } $1 == main { exit 0 }'; do
    ((waited++ < WAIT_SECONDS * 10)) || fail "the first program's window did not come forward"
    sleep 0.1
done
kill "$cover_pid"
echo "PASS [$SCENARIO]"
