#!/usr/bin/env bash
# A first start shows the main window; editing and saving the folder name writes Path.dat.
source "$(dirname "$0")/e2e_lib.sh"

start_xvfb
start_app
main=$(wait_window "TX(Tandemix)Ver.3")
focus "$main"

[ ! -e "$RUN_DIR/Path.dat" ] || fail "Path.dat exists before any save"
click_twips "$main" $((4680 + 427)) $((2470 + 187))   # cmdHenko: 変更 -> OK
click_twips "$main" $((2400 + 1087)) $((2500 + 135))  # into txtBackup
keys ctrl+a
type_text "Docs"
click_twips "$main" $((4680 + 427)) $((2470 + 187))   # cmdHenko: OK -> 変更, saves

wait_file "$RUN_DIR/Path.dat"
[ "$(od -An -c "$RUN_DIR/Path.dat" | tr -s ' ')" = " D o c s \r \n" ] ||
    fail "Path.dat holds $(od -An -c "$RUN_DIR/Path.dat")"

click_twips "$main" $((2400 + 787)) $((4320 + 275))   # cmdCancel ends the program
wait_app_exit
echo "PASS [$SCENARIO]"
