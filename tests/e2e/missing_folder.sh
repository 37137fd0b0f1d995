#!/usr/bin/env bash
# Start with a folder name that does not exist: the message box names the
# folder, is answered, and the file manager is opened; the run log keeps
# the cause.
source "$(dirname "$0")/e2e_lib.sh"

write_crlf "$RUN_DIR/Path.dat" "Nothing"

start_xvfb
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
focus "$main"
keys Return
box=$(wait_window "TX(Tandemix)Vr.3")
focus "$box"
keys Return
wait_file "$WORK/xdg-open.log"
grep -q "$HOME" "$WORK/xdg-open.log" || fail "the file manager was not opened on the home folder"
[ ! -e "$DATA_DIR/Riri.dat" ] || grep -qv "バックアップ先" "$DATA_DIR/Riri.dat" || fail "a history entry was written"
kill -0 "$APP_PID" || fail "the program ended"
grep -q " バックアップ 76 .*/Nothing" "$XDG_STATE_HOME/tandemix/tandemix.log" || fail "no run log line"

focus "$main"
keys alt+c
wait_app_exit
echo "PASS [$SCENARIO]"
