#!/usr/bin/env bash
# A restore from the Restore page copies the folder back and reports it;
# the program stays open until the user ends it.
source "$(dirname "$0")/e2e_lib.sh"

mkdir -p "$WORK/backup/Docs/inner"
printf 'kept\n' >"$WORK/backup/Docs/inner/a.txt"
write_crlf "$RUN_DIR/Path.dat" "Docs"
write_crlf "$DATA_DIR/Establish.dat" 1 "\"$WORK/backup/Docs\"" 1 "\"$HOME\"" 0 1 1 0 '""' '""' '""' 0

start_xvfb
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
focus "$main"
keys alt+h                                              # the Restore page 復旧(&H)
keys alt+o                                              # 開始(&O)
box=$(wait_box "TX(Tandemix)Vr.3" "復旧が完了しました。")
focus "$box"
keys Return
[ -f "$HOME/Docs/inner/a.txt" ] || fail "nothing restored"
grep -q "復旧元$WORK/backup/Docs  復旧先$HOME/Docs" "$DATA_DIR/Riri.dat" ||
    fail "Riri.dat lacks the restore entry: $(cat "$DATA_DIR/Riri.dat" 2>/dev/null)"
kill -0 "$APP_PID" || fail "the program ended although chkEnd is off"

focus "$main"
keys alt+c                                              # 中止(&C)
wait_app_exit
echo "PASS [$SCENARIO]"
