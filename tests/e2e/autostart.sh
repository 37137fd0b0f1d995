#!/usr/bin/env bash
# The installed desktop entry, placed in ~/.config/autostart as the README
# says, starts the program when the session runs its autostart entries
# (dex does what a desktop session does at login).
source "$(dirname "$0")/e2e_lib.sh"

build_dir=$(dirname "$(dirname "$TANDEMIX")")
cmake --install "$build_dir" --prefix "$WORK/prefix" >/dev/null
export PATH=$WORK/prefix/bin:$PATH
mkdir -p "$XDG_CONFIG_HOME/autostart"
cp "$WORK/prefix/share/applications/tandemix.desktop" "$XDG_CONFIG_HOME/autostart/"

start_xvfb
(cd "$HOME" && dex --autostart --search-paths "$XDG_CONFIG_HOME/autostart") >"$WORK/dex.log" 2>&1 ||
    fail "the autostart entry was refused: $(cat "$WORK/dex.log")"
main=$(wait_window "TX(Tandemix)Ver.3")
# Started by the session, not by this script: ended through its window.
APP_PID=$(xdotool getwindowpid "$main")
echo "PASS [$SCENARIO]"
