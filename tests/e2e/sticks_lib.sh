#!/usr/bin/env bash
# Sticks for the scenarios that pull them: loop-mounted ext4 images under
# $WORK/mnt, skipped where the machine refuses loop devices or mounting.
# Source it after e2e_lib.sh.

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
    local stick
    for stick in "$MNT"/*; do
        if mountpoint -q "$stick"; then umount "$stick" || umount -l "$stick" || true; fi
    done
    for loop in "${LOOPS[@]}"; do
        losetup -d "$loop" 2>/dev/null || true
    done
    cleanup
}
trap finish EXIT

# Mounts a fresh 4 MiB ext4 image as stick $1, or skips the scenario. The
# image stays on its loop device (LOOPS, in order) when the stick is pulled.
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

# Two sticks v1 and v2, the program working on v2 so that both drive lists
# start on it; v1, next in mount order, is the entry just above.
two_sticks() {
    mount_stick v1
    mount_stick v2
    RUN_DIR=$MNT/v2/run
    mkdir -p "$RUN_DIR"
}

# Opens the destination list of main window $1 and picks v1.
pick_v1_as_destination() {
    focus "$1"
    click_twips "$1" 4200 1110
    sleep 1.5
    keys Up Return
    sleep 1.5
}
