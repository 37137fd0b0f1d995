#!/usr/bin/env bash
# Two real file systems (loop-mounted ext4 images) as sticks v1 and v2. The
# destination list is set to v1, then v1 is unmounted: no box pops up by
# itself, picking v1's entry again brings the not-ready box, and a backup
# started anyway fails without writing into the bare mount point or the
# separate destination folder (the free space is v1's). Plugged in again
# under a new mount, v1 is ready: the backup goes through.
source "$(dirname "$0")/e2e_lib.sh"

SKIP=77
MNT=$WORK/mnt
LOOPS=()

# The program must be gone before its sticks are, and the sticks before the
# work folder is removed.
finish() {
    if [ -n "$APP_PID" ]; then
        kill "$APP_PID" 2>/dev/null || true
        wait "$APP_PID" 2>/dev/null || true
        APP_PID=""
    fi
    for stick in v1 v2; do
        if mountpoint -q "$MNT/$stick"; then umount "$MNT/$stick" || umount -l "$MNT/$stick" || true; fi
    done
    for loop in "${LOOPS[@]}"; do
        losetup -d "$loop" 2>/dev/null || true
    done
    cleanup
}
trap finish EXIT

# Mounts a fresh 4 MiB ext4 image as stick $1, or skips the scenario.
mount_stick() {
    local image=$WORK/$1.img loop
    truncate -s 4M "$image"
    mkfs.ext4 -q -F "$image" >/dev/null 2>&1 || { echo "SKIP [$SCENARIO]: no mkfs.ext4"; exit $SKIP; }
    loop=$(losetup -f --show "$image" 2>/dev/null) ||
        { echo "SKIP [$SCENARIO]: loop devices are refused here"; exit $SKIP; }
    LOOPS+=("$loop")
    mkdir -p "$MNT/$1"
    mount -t ext4 "$loop" "$MNT/$1" 2>/dev/null ||
        { echo "SKIP [$SCENARIO]: mounting is refused here"; exit $SKIP; }
}

mount_stick v1
mount_stick v2
mkdir -p "$HOME/Docs"
printf 'report\n' >"$HOME/Docs/report.txt"
# Working on v2 makes it the drive both lists start on; v1, next in mount
# order, is the entry just above it.
RUN_DIR=$MNT/v2/run
mkdir -p "$RUN_DIR"
write_crlf "$RUN_DIR/Path.dat" "Docs"
mkdir -p "$WORK/dest"
write_crlf "$DATA_DIR/Establish.dat" 0 '""' 1 "\"$WORK/dest\"" 1 1 1 0 '""' '""' '""' 0

start_xvfb
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
focus "$main"
click_twips "$main" 4200 1110                           # opens Drive2
sleep 1.5
keys Up Return                                          # picks v1
sleep 1.5
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
[ -z "$(ls -A "$WORK/dest")" ] || fail "copied with the destination drive gone: $(ls -A "$WORK/dest")"
[ ! -e "$DATA_DIR/Riri.dat" ] || ! grep -q "バックアップ先" "$DATA_DIR/Riri.dat" ||
    fail "a history entry was written"
kill -0 "$APP_PID" || fail "the program ended as after a good backup"

focus "$box"
keys Return                                             # the error, then the contact address
sleep 1
focus "$(wait_window "TX(Tandemix)Vr.3")"
keys Return
mount -t ext4 "${LOOPS[0]}" "$MNT/v1"
sleep 2
focus "$main"
keys alt+o
wait_file "$DATA_DIR/Riri.dat"
grep -q "バックアップ先$WORK/dest/Docs" "$DATA_DIR/Riri.dat" || fail "no entry after v1 came back"
diff -r "$HOME/Docs" "$WORK/dest/Docs" >/dev/null || fail "the copy differs from the source"
echo "PASS [$SCENARIO]"
