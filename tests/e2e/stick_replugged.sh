#!/usr/bin/env bash
# Sticks v1 and v2 as in stick_pulled. First, with a separate destination
# folder off the sticks, v1 is picked as the destination drive and pulled:
# the backup fails, writing nothing and no history entry. Then, in a new
# start, v1 is picked, pulled and plugged in again under a new mount: the
# backup lands on it.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/sticks_lib.sh"

two_sticks
mkdir -p "$HOME/Docs" "$WORK/dest"
printf 'report\n' >"$HOME/Docs/report.txt"
write_crlf "$RUN_DIR/Path.dat" "Docs"
# chkFolder2 on with $WORK/dest; no end, no completion message.
write_crlf "$DATA_DIR/Establish.dat" 0 '""' 1 "\"$WORK/dest\"" 0 0 1 0 '""' '""' '""' 0

start_xvfb
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
pick_v1_as_destination "$main"
umount "$MNT/v1"
sleep 2
focus "$main"
keys alt+o                                              # Start
box=$(wait_window "TX(Tandemix)Vr.3")
[ -z "$(ls -A "$WORK/dest")" ] || fail "copied with the destination drive gone: $(ls -A "$WORK/dest")"
[ ! -e "$DATA_DIR/Riri.dat" ] || ! grep -q "バックアップ先" "$DATA_DIR/Riri.dat" ||
    fail "a history entry was written with the destination drive gone"
kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=""

mount -t ext4 "${LOOPS[0]}" "$MNT/v1"
write_crlf "$DATA_DIR/Establish.dat" 0 '""' 0 '""' 0 0 1 0 '""' '""' '""' 0
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
pick_v1_as_destination "$main"
umount "$MNT/v1"
sleep 2
mount -t ext4 "${LOOPS[0]}" "$MNT/v1"                  # plugged in again: a new mount ID
sleep 2
window_shown "BK(Brightkeep)Vr.2" && fail "a box popped up by itself"
focus "$main"
keys alt+o                                              # Start
wait_file "$DATA_DIR/Riri.dat"
grep -q "バックアップ先$MNT/v1/Docs" "$DATA_DIR/Riri.dat" ||
    fail "no history entry for the backup onto v1: $(cat "$DATA_DIR/Riri.dat")"
diff -r "$HOME/Docs" "$MNT/v1/Docs" >/dev/null || fail "the copy on v1 differs from the source"
window_shown "TX(Tandemix)Vr.3" && fail "a box came after the backup onto the returned stick"
echo "PASS [$SCENARIO]"
