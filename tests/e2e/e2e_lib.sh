#!/usr/bin/env bash
# Drives the real tandemix under a private Xvfb the way a user does, with
# keys and clicks from xdotool. Each scenario script sources this file.
# Usage of a scenario: SCRIPT TANDEMIX_BINARY SCREENSHOT_DIR
set -euo pipefail

TANDEMIX=$1
SHOT_DIR=$2
SCENARIO=$(basename "$0" .sh)
WAIT_SECONDS=${E2E_WAIT_SECONDS:-20}

WORK=$(mktemp -d /tmp/tandemix-e2e.XXXXXX)
export HOME=$WORK/home
export XDG_CONFIG_HOME=$HOME/.config
export XDG_STATE_HOME=$HOME/.local/state # the run log
DATA_DIR=$XDG_CONFIG_HOME/tandemix
RUN_DIR=$WORK/run
mkdir -p "$HOME" "$DATA_DIR" "$RUN_DIR" "$WORK/bin"
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset QT_QPA_PLATFORM
# The file manager a run opens after a missing folder: record, don't open.
cat > "$WORK/bin/xdg-open" <<STUB
#!/bin/sh
echo "\$@" >> "$WORK/xdg-open.log"
STUB
chmod +x "$WORK/bin/xdg-open"
export PATH=$WORK/bin:$PATH

XVFB_PID=""
APP_PID=""

fail() {
    echo "FAIL [$SCENARIO]: $*" >&2
    if [ -n "${DISPLAY:-}" ]; then
        mkdir -p "$SHOT_DIR"
        import -display "$DISPLAY" -window root "$SHOT_DIR/$SCENARIO-failure.png" 2>/dev/null &&
            echo "screenshot: $SHOT_DIR/$SCENARIO-failure.png" >&2
    fi
    exit 1
}

cleanup() {
    [ -n "$APP_PID" ] && kill "$APP_PID" 2>/dev/null || true
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

start_xvfb() {
    local fifo=$WORK/displayfd
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" 2>"$WORK/xvfb.log" &
    XVFB_PID=$!
    local number
    read -r -t "$WAIT_SECONDS" number <"$fifo" || fail "Xvfb did not start"
    export DISPLAY=:$number
}

# Starts the program in RUN_DIR; it runs in the background and writes the
# text of each message box to app.log.
start_app() {
    (cd "$RUN_DIR" && QT_LOGGING_RULES="tandemix.messagebox.info=true" exec "$TANDEMIX") >"$WORK/app.log" 2>&1 &
    APP_PID=$!
}

# The xdotool name pattern that matches exactly the title $1.
title_pattern() {
    printf '^%s$' "$(printf '%s' "$1" | sed 's/[][\.*^$()+?{}|]/\\&/g')"
}

# Prints the id of the first visible window whose title is exactly $1, waiting for it.
wait_window() {
    local title=$1 id
    id=$(timeout "$WAIT_SECONDS" xdotool search --sync --onlyvisible --name "$(title_pattern "$title")" 2>/dev/null | head -n 1) ||
        fail "no window titled '$title'"
    [ -n "$id" ] || fail "no window titled '$title'"
    echo "$id"
}

# Prints the id of a visible window titled $1 that is none of the ids in $2
# (one a line), waiting for it.
wait_other_window() {
    local pattern id waited=0
    pattern=$(title_pattern "$1")
    while :; do
        id=$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null | grep -vxF -e "$2" | head -n 1) || true
        [ -n "$id" ] && { echo "$id"; return; }
        kill -0 "$APP_PID" 2>/dev/null || fail "the program ended before a window titled '$1' came"
        ((waited++ < WAIT_SECONDS * 20)) || fail "no window titled '$1' but $2"
        sleep 0.05
    done
}

# Prints the id of the message box titled $1 that says $2, waiting for it.
# The progress window bears the same title; it is gone before the box is
# written to app.log, so no window of that title seen before is the box.
wait_box() {
    local ids seen="" waited=0
    # Looked for before the log is read: what was there then is no box.
    while ids=$(xdotool search --onlyvisible --name "$(title_pattern "$1")" 2>/dev/null)
        ! grep -qF "tandemix.messagebox: $1: $2" "$WORK/app.log"; do
        seen+=$'\n'$ids
        ((waited++ < WAIT_SECONDS * 20)) || fail "no box saying '$2'"
        sleep 0.05
    done
    wait_other_window "$1" "$seen"
}

# Gives a window the keyboard focus (there is no window manager under Xvfb).
focus() {
    xdotool windowfocus --sync "$1"
}

# Sends keys to the focused window: keys KEY...
keys() {
    xdotool key --delay 30 "$@"
}

# Types text into the focused control.
type_text() {
    xdotool type --delay 20 "$1"
}

# Clicks at a position given in twips inside a window's client area.
click_twips() {
    local window=$1 x=$(($2 / 15)) y=$(($3 / 15))
    xdotool mousemove --window "$window" --sync "$x" "$y" click 1
}

# True while a window titled exactly $1 is shown.
window_shown() {
    xdotool search --onlyvisible --name "$(title_pattern "$1")" >/dev/null 2>&1
}

# Waits until the program has ended; fails if it is still running.
wait_app_exit() {
    local waited=0
    while kill -0 "$APP_PID" 2>/dev/null; do
        ((waited++ < WAIT_SECONDS * 10)) || fail "the program did not end"
        sleep 0.1
    done
    APP_PID=""
}

# Waits until a file exists.
wait_file() {
    local waited=0
    until [ -e "$1" ]; do
        ((waited++ < WAIT_SECONDS * 10)) || fail "no file $1"
        sleep 0.1
    done
}

# Writes a file as the program's data files are written: lines with CR LF.
write_crlf() {
    local path=$1
    shift
    printf '%s\r\n' "$@" >"$path"
}
