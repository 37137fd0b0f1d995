#!/usr/bin/env bash
# 中止 in the progress window of a large backup: the copy stops, a box says
# so, no history entry and no temporary stay, and the program goes on
# although chkEnd is on.
source "$(dirname "$0")/e2e_lib.sh"

# Many files and some large ones, so that the copy still runs when the
# window is up and the key arrives, whatever the file system is quick at:
# small files cost their creation and renaming everywhere, large ones
# (blocks allocated, never written, so made at once) cost writing.
make_tree() {
    local d
    mkdir -p "$HOME/Docs" "$WORK/dest"
    for d in 1 2 3 4; do
        fallocate -l 512M "$HOME/Docs/large$d.bin"
    done
    for d in $(seq -w 1 12); do
        mkdir "$HOME/Docs/dir$d"
        (cd "$HOME/Docs/dir$d" && touch file{001..500}.txt)
    done
}

make_tree
write_crlf "$RUN_DIR/Path.dat" "Docs"
# Separate destination, chkEnd, chkMsg2 and chkUwa on.
write_crlf "$DATA_DIR/Establish.dat" 0 '""' 1 "\"$WORK/dest\"" 1 1 1 0 '""' '""' '""' 0

start_xvfb
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
focus "$main"
keys Return                                             # cmdOK is the default button
progress=$(wait_other_window "TX(Tandemix)Vr.3" "$main")
focus "$progress"
pressed=$(date +%s%N)
keys alt+c                                              # 中止(&C)
box=$(wait_other_window "TX(Tandemix)Vr.3" "$progress")
echo "the box came $((($(date +%s%N) - pressed) / 1000000)) ms after 中止" >&2
focus "$box"
grep -q "tandemix.messagebox: TX(Tandemix)Vr.3: バックアップを中止しました。$" "$WORK/app.log" ||
    fail "the box says: $(grep tandemix.messagebox "$WORK/app.log")"
[ "$(grep -c tandemix.messagebox "$WORK/app.log")" -eq 1 ] || fail "more than one box: $(cat "$WORK/app.log")"
keys Return

sleep 0.5
kill -0 "$APP_PID" 2>/dev/null || fail "the program ended"
# A stop during the first file leaves nothing at all; never an empty skeleton.
empty=$(find "$WORK/dest" -mindepth 1 -type d -empty)
[ -z "$empty" ] || fail "empty folders left: $empty"
left=$(find "$WORK/dest" -name '.txtmp-*')
[ -z "$left" ] || fail "temporaries left: $left"
[ "$(find "$WORK/dest" -type f | wc -l)" -lt "$(find "$HOME/Docs" -type f | wc -l)" ] ||
    fail "the whole tree was copied: the stop came too late"
[ ! -e "$DATA_DIR/Riri.dat" ] || ! grep -q "バックアップ先" "$DATA_DIR/Riri.dat" || fail "a history entry was written"

focus "$main"
keys alt+c                                              # the main window's 中止(&C) ends the program
wait_app_exit
echo "PASS [$SCENARIO]"
