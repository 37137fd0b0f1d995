#!/usr/bin/env bash
# A backup with saved options (separate destination folder, no message,
# end after the run) copies the real tree, writes Riri.dat and ends.
source "$(dirname "$0")/e2e_lib.sh"

mkdir -p "$HOME/Docs/sub dir" "$WORK/dest"
printf 'report\n' >"$HOME/Docs/報告書.txt"
head -c 300000 /dev/urandom >"$HOME/Docs/sub dir/data.bin"
write_crlf "$RUN_DIR/Path.dat" "Docs"
write_crlf "$DATA_DIR/Establish.dat" 0 '""' 1 "\"$WORK/dest\"" 1 0 1 0 '""' '""' '""' 0

start_xvfb
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
focus "$main"
keys Return                                             # cmdOK is the default button
wait_app_exit

diff -r "$HOME/Docs" "$WORK/dest/Docs" >/dev/null || fail "the copy differs from the source"
grep -q "バックアップ元$HOME/Docs  バックアップ先$WORK/dest/Docs" "$DATA_DIR/Riri.dat" ||
    fail "Riri.dat lacks the entry: $(cat "$DATA_DIR/Riri.dat" 2>/dev/null)"
echo "PASS [$SCENARIO]"
