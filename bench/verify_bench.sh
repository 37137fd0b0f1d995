#!/usr/bin/env bash
# What the read-back costs. On a loop-mounted ext4 image (the loop device
# in direct I/O, so its reads reach the disk under it, not the cache of the
# image file), for 20,000 files of 4 KiB in 200 folders and for one 1 GiB
# file, times:
#   copy    txcopy, then the flush every run does (sync -f)
#   verify  txcopy --verify: the copy, the flush and the read-back (whose
#           own time txcopy --progress tells)
#   cat     cat of the written files to /dev/null, right after an untimed
#           copy, its flush and echo 3 > /proc/sys/vm/drop_caches
# and prints the medians, and the read-back against one plain read of the
# written bytes from the device: its own time / cat, and (verify - copy) /
# cat (target: <= 1.1).
# Then the repeat onto the unchanged copy, with and without --verify, both
# told to an observer as the program's are: it writes nothing, so it has
# nothing to read back (target: ratio ~1).
# Beside it, rsync -a onto the same unchanged copy (target for the repeat
# with --verify: <= 0.5x rsync).
# A sparse file of 10 GiB holding 4 KiB of data: copy, and copy with the
# read-back (target: verify / copy <= 2).
# Peak memory (RSS) of a copy of $RSS_FILES empty files (default 200,000)
# in 1,000 folders, with and without --verify (target: <= 2x).
# Needs root (mount, drop_caches). The image lives in $BENCH_DIR (default /tmp).
#
#   bench/verify_bench.sh [path/to/txcopy]      (default: build/tools/txcopy)
#   ROUNDS=5 LARGE=0 bench/verify_bench.sh      (LARGE=0 skips the 1 GiB file,
#                                                SMALL=0 the small files,
#                                                SPARSE=0 the sparse file,
#                                                RSS_FILES=0 the memory)
#   TANDEMIX_READBACK_WIDTH=1 bench/verify_bench.sh  (small files read back
#                                                one at a time, whatever the
#                                                loop device says it is)
#   LOOP_DIRECT_IO=off bench/verify_bench.sh   (the loop device reads through
#                                                the image's page cache, one
#                                                worker serving it)
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

need_txcopy "$@"
rounds=${ROUNDS:-3}
small=${SMALL:-1}
large=${LARGE:-1}
sparse=${SPARSE:-1}
rss_files=${RSS_FILES:-200000}
need_root "it mounts an image and drops caches"
need_rsync

work=$(mktemp -d "${BENCH_DIR:-/tmp}/verify_bench.XXXXXX")
disk=$work/disk
loop=
cleanup() {
    mountpoint -q "$disk" && umount "$disk"
    [ -z "$loop" ] || losetup -d "$loop" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

truncate -s 4G "$work/ext4.img"
mkfs.ext4 -q "$work/ext4.img"
loop=$(losetup --find --show --direct-io="${LOOP_DIRECT_IO:-on}" "$work/ext4.img")
mkdir -p "$disk"
mount "$loop" "$disk"

# The tools' own code is read in again after the drop: the program is
# running when a user repeats, and what is timed is the copy, not the
# loading of the libraries (txcopy's Qt took 40 ms from a cold disk, rsync's
# own 18 ms).
drop_caches() {
    sync
    echo 3 > /proc/sys/vm/drop_caches
    "$txcopy" > /dev/null 2>&1 || true
    for tool in rsync find xargs cat sync; do "$tool" --version > /dev/null; done
}

# Prints the seconds one step takes; copies start from an empty target and
# cold caches, repeats from the copy the last step left. cat reads a copy
# made just before it, untimed, as the read-back does: a disk reads slower
# while it still settles what it was given. Copies find the source in memory:
# reading it from this machine's disk took anything from 0.4 s to 3 s for
# the same gigabyte, which would drown the difference measured here.
time_one() {
    local source=$1 step=$2 target=$disk/target start end
    case $step in copy|verify|cat) rm -rf "$target" ;; esac
    [ "$step" != cat ] || { "$txcopy" "$source" "$target" && sync -f "$disk"; }
    drop_caches
    case $step in copy|verify) find "$source" -type f -print0 | xargs -0 cat > /dev/null ;; esac
    start=$(date +%s%N)
    case $step in
        copy)           "$txcopy" "$source" "$target" && sync -f "$disk" ;;
        verify)         "$txcopy" "$source" "$target" --verify --progress 2>&1 | sed -n 's/.*read back in \([0-9.]*\) s/\1/p' >> "$work/readback" ;;
        cat)            find "$target" -type f -print0 | xargs -0 cat > /dev/null ;;
        repeat)         "$txcopy" "$source" "$target" --overwrite --progress 2>/dev/null && sync -f "$disk" ;;
        repeat-verify)  "$txcopy" "$source" "$target" --overwrite --progress --verify 2>/dev/null ;;
        rsync)          rsync -a "$source/" "$target/" && sync -f "$disk" ;;
    esac
    end=$(date +%s%N)
    seconds $((end - start))
}

# The read-back's own time, as txcopy measures it, against the copy's
# difference and against cat. The difference is also given for the fastest
# rounds: a flush here took anything from 0.15 s to 3 s for the same
# gigabyte (the virtual disk's host writing out the last step's data when it
# pleases), which only ever adds, and more than the check costs.
report() {
    local own
    own=$(median < "$work/readback")
    rm -f "$work/readback"
    awk -v c="${med[copy]}" -v v="${med[verify]}" -v r="${med[cat]}" -v o="$own" \
        -v fc="${fastest[copy]}" -v fv="${fastest[verify]}" \
        'BEGIN { printf "  read-back median %.3f s: read-back / cat = %.3f, (verify - copy) / cat = %.3f (medians), %.3f (fastest rounds)\n", o, o / r, (v - c) / r, (fv - fc) / r }'
}

echo "image: ext4 on $loop (direct I/O) in $(df -T "$work" | awk 'NR == 2 { print $2 " on " $7 }'), kernel $(uname -r)"
echo "load: $(uptime | sed 's/.*load average/load average/')"
echo "small files read back ${TANDEMIX_READBACK_WIDTH:-as the device decides}${TANDEMIX_READBACK_WIDTH:+ at a time}"
if [ "$small" -ne 0 ]; then
    make_small_tree
    bench "20,000 files of 4 KiB in 200 folders" "$work/small" "$rounds" copy verify cat
    report
    bench "repeat onto the unchanged copy" "$work/small" "$rounds" repeat repeat-verify rsync
    ratio "with/without read-back" "${med[repeat-verify]}" "${med[repeat]}"
    ratio "with read-back/rsync" "${med[repeat-verify]}" "${med[rsync]}"
    rm -rf "$work/small" "$disk/target"
fi
if [ "$sparse" -ne 0 ]; then
    mkdir -p "$work/sparse"
    head -c 4096 /dev/urandom > "$work/sparse/sparse.bin"
    truncate -s 10G "$work/sparse/sparse.bin"
    bench "a sparse file of 10 GiB with 4 KiB of data" "$work/sparse" "$rounds" copy verify
    ratio "copy and check/copy" "${med[verify]}" "${med[copy]}"
    rm -rf "$work/sparse" "$disk/target" "$work/readback"
fi
if [ "$rss_files" -ne 0 ]; then
    per=$((rss_files / 1000))
    for d in $(seq 1 1000); do
        mkdir -p "$work/many/d$d"
        (cd "$work/many/d$d" && seq 1 "$per" | xargs touch)
    done
    declare -A peak=()
    for round in $(seq 1 "$rounds"); do
        for how in copy verify; do
            rm -rf "$disk/target"
            flag=; [ "$how" = copy ] || flag=--verify
            peak[$how]+="$(/usr/bin/time -f %M "$txcopy" "$work/many" "$disk/target" $flag 2>&1 >/dev/null | tail -1) "
        done
    done
    echo "== peak RSS of a copy of $rss_files files ($rounds rounds, KiB)"
    for how in copy verify; do
        med[rss-$how]=$(median <<<"${peak[$how]}")
        printf '  %-15s median %8d KiB (%s)\n' "$how" "${med[rss-$how]}" "${peak[$how]% }"
    done
    ratio "with/without read-back" "${med[rss-verify]}" "${med[rss-copy]}"
    rm -rf "$work/many" "$disk/target"
fi
[ "$large" -ne 0 ] || exit 0
make_large_tree
bench "one 1 GiB file" "$work/large" "$rounds" copy verify cat
report
