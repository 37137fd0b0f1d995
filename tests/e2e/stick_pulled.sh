#!/usr/bin/env bash
# Two real file systems (loop-mounted ext4 images) as sticks v1 and v2. The
# destination list is set to v1, then v1 is unmounted: no box pops up by
# itself, picking v1's entry again brings the not-ready box, and a backup
# started anyway fails without writing into the bare mount point.
source "$(dirname "$0")/e2e_lib.sh"
source "$(dirname "$0")/sticks_lib.sh"

two_sticks
mkdir -p "$HOME/Docs"
printf 'report\n' >"$HOME/Docs/report.txt"
write_crlf "$RUN_DIR/Path.dat" "Docs"

start_xvfb
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
pick_v1_as_destination "$main"
window_shown "BK(Brightkeep)Vr.2" && fail "v1 was taken as not ready"

umount "$MNT/v1"
sleep 2
window_shown "BK(Brightkeep)Vr.2" && fail "a box popped up by itself"
window_shown "TX(Tandemix)Vr.3" && fail "a box popped up by itself"

focus "$main"
click_twips "$main" 4200 1110                           # v1's entry again
sleep 1.5
keys Return
box=$(wait_window "BK(Brightkeep)Vr.2")
focus "$box"
keys Escape                                             # Cancel: the list stays on v1
sleep 1.5

focus "$main"
keys alt+o                                              # Start
box=$(wait_window "TX(Tandemix)Vr.3")
[ -z "$(ls -A "$MNT/v1")" ] || fail "written into the bare mount point: $(ls -A "$MNT/v1")"
[ ! -e "$DATA_DIR/Riri.dat" ] || ! grep -q "バックアップ先" "$DATA_DIR/Riri.dat" ||
    fail "a history entry was written"
kill -0 "$APP_PID" || fail "the program ended as after a good backup"
echo "PASS [$SCENARIO]"
