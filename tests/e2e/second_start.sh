#!/usr/bin/env bash
# The program is started twice by the same user: the second start ends at
# once, and the first, covered by another window meanwhile, comes forward
# and keeps running alone.
source "$(dirname "$0")/e2e_lib.sh"

start_xvfb
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
xmessage -title cover "another program" &
cover_pid=$!
cover=$(wait_window cover)
focus "$cover"

(cd "$RUN_DIR" && timeout "$WAIT_SECONDS" "$TANDEMIX") >"$WORK/second.log" 2>&1 ||
    fail "the second start did not end well: status $?"
kill -0 "$APP_PID" || fail "the first program ended"
[ "$(xdotool search --onlyvisible --name "$(title_pattern "TX(Tandemix)Ver.3")" | wc -l)" -eq 1 ] ||
    fail "more than one main window"
# Without a window manager the windows are the root's children, listed from
# the top down: the main window must come to lie above the cover.
above_cover() {
    xwininfo -root -children | awk -v main="$(printf '0x%x' "$main")" -v cover="$(printf '0x%x' "$cover")" \
        '$1 == cover { exit 1 } $1 == main { exit 0 }'
}
waited=0
until above_cover; do
    ((waited++ < WAIT_SECONDS * 10)) || fail "the first program's window did not come forward"
    sleep 0.1
done
kill "$cover_pid" 2>/dev/null || true
echo "PASS [$SCENARIO]"
