#!/usr/bin/env bash
# Times txcopy against cp -a and rsync -a on two trees: 20,000 files of
# 4 KiB in 200 folders, and one 1 GiB file. The three take turns, several
# rounds each; prints the median of each and the ratios txcopy/cp and
# txcopy/rsync. On the small tree it also times repeat runs against
# rsync -a: onto the unchanged copy (also as a share of the first copy),
# and after 1% of the files changed (new content, same size, new time).
# The trees live in a temporary folder under $BENCH_DIR (default: /tmp),
# so that is the file system measured.
#
#   bench/copy_bench.sh [path/to/txcopy]     (default: build/tools/txcopy)
#   SMALL_ROUNDS=7 LARGE_ROUNDS=3 bench/copy_bench.sh   (LARGE_ROUNDS=0 skips the large file)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

need_txcopy "$@"
small_rounds=${SMALL_ROUNDS:-7}
large_rounds=${LARGE_ROUNDS:-3}
need_rsync

work=$(mktemp -d "${BENCH_DIR:-/tmp}/copy_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Changes 1% of the small tree: the first file of each folder gets new
# content of the same size and a new time.
change_one_percent() {
    local block
    block=$(head -c 3072 /dev/urandom | base64 -w0) # 4096 characters
    for d in "$work"/small/dir*; do printf '%s' "$block" > "$d/file001.dat"; done
}

# Prints the seconds one copy of $1 takes with the tool $2. The repeat
# tools copy onto what the last run left in the target; the others onto
# nothing.
time_one() {
    local source=$1 tool=$2 target=$work/target start end
    case $tool in repeat*|rsync-repeat) ;; *) rm -rf "$target" ;; esac
    sync
    start=$(date +%s%N)
    case $tool in
        txcopy)          "$txcopy" "$source" "$target" ;;
        progress)        "$txcopy" "$source" "$target" --progress 2>/dev/null ;;
        cp)              cp -a "$source" "$target" ;;
        rsync)           rsync -a "$source/" "$target/" ;;
        repeat)          "$txcopy" "$source" "$target" --overwrite ;;
        repeat-progress) "$txcopy" "$source" "$target" --overwrite --progress 2>/dev/null ;;
        rsync-repeat)    rsync -a "$source/" "$target/" ;;
    esac
    end=$(date +%s%N)
    seconds $((end - start))
}

echo "file system: $(df -T "$work" | awk 'NR == 2 { print $2 " on " $7 }'), kernel $(uname -r)"
echo "load: $(uptime | sed 's/.*load average/load average/')"
make_small_tree
bench "20,000 files of 4 KiB in 200 folders" "$work/small" "$small_rounds" txcopy cp rsync progress
ratio txcopy/cp "${med[txcopy]}" "${med[cp]}"
ratio txcopy/rsync "${med[txcopy]}" "${med[rsync]}"
ratio "with observer/without" "${med[progress]}" "${med[txcopy]}"
first_copy=${med[txcopy]}

rm -rf "$work/target" && "$txcopy" "$work/small" "$work/target"
bench "repeat onto the unchanged copy" "$work/small" "$small_rounds" repeat rsync-repeat repeat-progress
ratio repeat/rsync "${med[repeat]}" "${med[rsync-repeat]}"
ratio "repeat/first copy" "${med[repeat]}" "$first_copy"
ratio "with observer/without" "${med[repeat-progress]}" "${med[repeat]}"

before_each=change_one_percent
bench "repeat after 1% of the files changed" "$work/small" "$small_rounds" repeat rsync-repeat
before_each=
ratio repeat/rsync "${med[repeat]}" "${med[rsync-repeat]}"
rm -rf "$work/small" "$work/target"
[ "$large_rounds" -gt 0 ] || exit 0
make_large_tree
bench "one 1 GiB file" "$work/large" "$large_rounds" txcopy cp rsync
ratio txcopy/cp "${med[txcopy]}" "${med[cp]}"
ratio txcopy/rsync "${med[txcopy]}" "${med[rsync]}"
