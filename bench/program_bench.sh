#!/usr/bin/env bash
# What a run through the program costs beside the engine's own copy, and
# what keeping versions costs. On the small tree (20,000 files of 4 KiB in
# 200 folders) copied once beforehand, times side by side:
#   program  a repeat backup through the program under a private Xvfb, from
#            the press of the start button to the program's end (chkEnd on,
#            no message, overwrite on, a separate destination folder): the
#            copy, the flush, the read-back and the free-space check
#   engine   txcopy --overwrite --verify --progress onto the same copy
# (target: program/engine <= 1.3). Then, with 1% of the files changed
# before every round (new content, same size, new time):
#   versions     txcopy --overwrite --verify --keep-versions 10
#   no-versions  txcopy --overwrite --verify
# (target: versions/no-versions <= 1.1). The trees live in the scenario
# folder of the end-to-end tests, under /tmp, so that is the file system
# measured.
#
#   bench/program_bench.sh [path/to/txcopy [path/to/tandemix]]   (default: build/tools/txcopy, build/app/tandemix)
#   ROUNDS=7 bench/program_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

need_txcopy "${1:-}"
tandemix=$(realpath "${2:-build/app/tandemix}")
[ -x "$tandemix" ] || { echo "no tandemix at $tandemix: build the project first" >&2; exit 1; }
rounds=${ROUNDS:-5}
command -v Xvfb >/dev/null && command -v xdotool >/dev/null || { echo "needs Xvfb and xdotool (tools/setup.sh installs them)" >&2; exit 1; }

# The scenario library of the end-to-end tests starts the program the way
# a user does; its folder is the benchmark's.
set -- "$tandemix" /tmp/program_bench-shots
source tests/e2e/e2e_lib.sh
work=$WORK

make_small_tree
mv "$work/small" "$HOME/Docs"
dest=$work/dest
mkdir -p "$dest"
"$txcopy" "$HOME/Docs" "$dest/Docs" --verify
write_crlf "$RUN_DIR/Path.dat" "Docs"
# A separate destination, end after the run, no message, overwrite.
write_crlf "$DATA_DIR/Establish.dat" 0 '""' 1 "\"$dest\"" 1 0 1 0 '""' '""' '""' 0
start_xvfb

change_one_percent() {
    local block
    block=$(head -c 3072 /dev/urandom | base64 -w0) # 4096 characters
    for d in "$HOME"/Docs/dir*; do printf '%s' "$block" > "$d/file001.dat"; done
}

# The program from the key press to its end; the start and its window come first, untimed.
time_program() {
    start_app
    focus "$(wait_window "TX(Tandemix)Ver.3")"
    local start end
    start=$(date +%s%N)
    keys Return # cmdOK is the default button
    wait "$APP_PID" || fail "the program failed: $(cat "$WORK/app.log")"
    end=$(date +%s%N)
    APP_PID=""
    [ ! -s "$XDG_STATE_HOME/tandemix/tandemix.log" ] || fail "the run failed: $(cat "$XDG_STATE_HOME/tandemix/tandemix.log")"
    seconds $((end - start))
}

time_one() {
    local source=$1 tool=$2 start end
    # Stamps are whole seconds: each run keeping versions gets its own.
    [ "$tool" != versions ] || sleep 1
    sync
    [ "$tool" != program ] || { time_program; return; }
    start=$(date +%s%N)
    case $tool in
        engine)      "$txcopy" "$source" "$dest/Docs" --overwrite --verify --progress 2>/dev/null ;;
        versions)    "$txcopy" "$source" "$dest/Docs" --overwrite --verify --keep-versions 10 ;;
        no-versions) "$txcopy" "$source" "$dest/Docs" --overwrite --verify ;;
    esac
    end=$(date +%s%N)
    seconds $((end - start))
}

echo "file system: $(df -T "$work" | awk 'NR == 2 { print $2 " on " $7 }'), kernel $(uname -r)"
echo "load: $(uptime | sed 's/.*load average/load average/')"
bench "repeat onto the unchanged copy of 20,000 files" "$HOME/Docs" "$rounds" program engine
ratio program/engine "${med[program]}" "${med[engine]}"

before_each=change_one_percent
bench "repeat after 1% of the files changed" "$HOME/Docs" "$rounds" versions no-versions
before_each=
ratio versions/no-versions "${med[versions]}" "${med[no-versions]}"
echo "stamp folders kept: $(find "$dest/.tandemix-versions/Docs" -mindepth 1 -maxdepth 1 | wc -l)"
