#!/usr/bin/env bash
# Starts the built program under a private Xvfb and saves a PNG of every
# window: both pages of the main window, the three tabs of the settings
# dialog, a folder picker, the version dialog and the progress window of a
# large copy with its rate, time left and stop button, and the timer's
# question; as root, the drive lists show a stick with a long name. Ends
# non-zero when a window does not appear.
# Usage: tools/screenshots.sh [OUTPUT_DIR]   (default build/screenshots)
# TANDEMIX=path overrides the program (default build/app/tandemix);
# SHOTS_COPY_MIB sets the size of the copied tree (default 2048).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build/screenshots}")
program=$(realpath -m "${TANDEMIX:-$root/build/app/tandemix}")
[ -x "$program" ] || { echo "no program at $program: build it first" >&2; exit 1; }
mkdir -p "$out"
# No picture of an earlier run may pass for one of this run.
rm -f "$out"/{main-backup,main-restore,version,settings-timer,settings-history,settings-backup}.png \
    "$out"/{folder-picker,progress,timer-question,screenshots-failure}.png

# The start-up of the end-to-end tests: temp HOME, data folder, Xvfb, trap.
set -- "$program" "$out"
source "$root/tests/e2e/e2e_lib.sh"

# Lets a window that has just been mapped paint itself before the capture.
settle() {
    sleep 0.5
}

# Saves window $1 as $out/$2.png.
shoot() {
    settle
    import -display "$DISPLAY" -window "$1" "$out/$2.png" || fail "could not capture $2"
    echo "saved $out/$2.png" >&2
}

# Waits for the window titled $1, focuses it and saves it as $2.png; prints its id.
shoot_window() {
    local id
    id=$(wait_window "$1")
    focus "$id"
    shoot "$id" "$2"
    echo "$id"
}

# Ends the program started last and waits for it.
end_app() {
    kill "$APP_PID" 2>/dev/null || true
    wait "$APP_PID" 2>/dev/null || true
    APP_PID=""
}

write_history() {
    write_crlf "$DATA_DIR/Riri.dat" \
        "----------------------------------今までの履歴-------------------------------" "" \
        "2024/05/20 22:27:32  バックアップ元$HOME/Docs  バックアップ先$WORK/dest/Docs" \
        "2024/05/21 9:05:07  バックアップ元$HOME/Docs  バックアップ先$WORK/dest/Docs" \
        "2024/05/22 8:00:00  復旧元$WORK/dest/Docs  復旧先$HOME/Docs"
}

# A tree large enough that copying it keeps the progress window up for a
# few seconds: fallocate'd blocks are really written by the copy.
make_large_tree() {
    local mib=${SHOTS_COPY_MIB:-2048} i
    mkdir -p "$HOME/Docs/写真" "$WORK/dest"
    printf 'report\n' >"$HOME/Docs/報告書.txt"
    for i in 1 2 3 4; do
        fallocate -l "$((mib / 4))M" "$HOME/Docs/写真/大きなファイル$i.bin"
    done
}

# Where a loop device can be mounted (as root), the program works on a
# stick with a long name, which both drive lists then show.
long_name_stick() {
    local stick="$WORK/mnt/とても長い名前のUSBメモリ_BACKUP_2024"
    mkdir -p "$stick"
    truncate -s 4M "$WORK/stick.img" && mkfs.ext4 -q -F "$WORK/stick.img" >/dev/null 2>&1 &&
        mount -o loop "$WORK/stick.img" "$stick" 2>/dev/null || return 0
    trap "end_app; umount '$stick'; cleanup" EXIT
    RUN_DIR=$stick
}

make_large_tree
write_history
long_name_stick
write_crlf "$RUN_DIR/Path.dat" "Docs"
start_xvfb

# First run: every window but the progress window. chkFolder1 is on so that
# the browse button of the source folder can be pressed.
write_crlf "$DATA_DIR/Establish.dat" 1 "\"$HOME/Docs\"" 0 '""' 0 1 1 0 '"14:30:00"' '""' '""' 0
start_app
main=$(shoot_window "TX(Tandemix)Ver.3" main-backup)
keys alt+h
shoot "$main" main-restore
keys alt+b

keys alt+v                                      # the version dialog replaces the main window
shoot_window "TX(Tandemix)Vr.3のﾊﾞｰｼﾞｮﾝ情報" version >/dev/null
keys Return                                     # OK brings the main window back
main=$(wait_window "TX(Tandemix)Ver.3")
focus "$main"

keys alt+s                                      # the settings dialog opens on its timer tab
settings=$(shoot_window "詳細設定" settings-timer)
keys ctrl+Tab
shoot "$settings" settings-history
keys ctrl+Tab
shoot "$settings" settings-backup
keys Tab Tab Tab space                          # chkFolder1, txtFolderPath1, cmdSun
shoot_window "バックアップ元指定" folder-picker >/dev/null
end_app

# Second run: a backup to a separate destination, no message, no end.
write_crlf "$DATA_DIR/Establish.dat" 0 '""' 1 "\"$WORK/dest\"" 0 0 1 0 '""' '""' '""' 0
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
focus "$main"
keys Return                                     # cmdOK is the default button
progress=$(wait_window "TX(Tandemix)Vr.3")
sleep 2                                         # the rate and time left come after two seconds
shoot "$progress" progress
end_app

# Third run: the timer's question, due a few seconds after the start; the
# timer runs once the settings dialog is loaded.
write_crlf "$DATA_DIR/Establish.dat" 0 '""' 0 '""' 0 1 1 1 "\"$(date -d '+8 sec' +%-H:%M:%S)\"" '""' '""' 1
start_app
focus "$(wait_window "TX(Tandemix)Ver.3")"
keys alt+s
shoot_window "タイマー" timer-question >/dev/null
end_app
echo "screenshots in $out"
