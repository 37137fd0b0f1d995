#!/usr/bin/env bash
# Times a first copy and a repeat run onto an exFAT stick image mounted
# through exfat-fuse (which keeps whole seconds), txcopy against
# rsync -a --modify-window=1, the way a user of rsync backs up to such a
# stick. Each round clears the target, times the first copy, then the
# repeat onto it. Then counts, with strace -c, the calls that set bits or
# times in a repeat of txcopy over $ATTR_FOLDERS (1,000) unchanged folders.
# Needs root (loop device, mount); installs exfat-fuse, exfatprogs and
# strace when they are missing. Not part of CI.
#
#   sudo bench/exfat_repeat.sh [path/to/txcopy]    (default: build/tools/txcopy)
#   FOLDERS=200 FILES_PER_FOLDER=100 ROUNDS=3 ATTR_FOLDERS=1000 sudo bench/exfat_repeat.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

need_txcopy "$@"
folders=${FOLDERS:-50}
files_per_folder=${FILES_PER_FOLDER:-100}
rounds=${ROUNDS:-3}
need_root "it attaches a loop device and mounts it"
need_rsync
if ! command -v mount.exfat-fuse >/dev/null || ! command -v mkfs.exfat >/dev/null || ! command -v strace >/dev/null; then
    apt-get update
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends exfat-fuse exfatprogs strace
fi
attr_folders=${ATTR_FOLDERS:-1000}

work=$(mktemp -d "${BENCH_DIR:-/tmp}/exfat_repeat.XXXXXX")
loop=
cleanup() {
    mountpoint -q "$work/stick" && umount "$work/stick"
    [ -z "$loop" ] || losetup -d "$loop"
    rm -rf "$work"
}
trap cleanup EXIT

make_tree() {
    local block
    block=$(head -c 3072 /dev/urandom | base64 -w0) # 4096 characters
    for d in $(seq -w 1 "$folders"); do
        mkdir -p "$work/source/dir$d"
        for f in $(seq -w 1 "$files_per_folder"); do printf '%s' "$block" > "$work/source/dir$d/file$f.dat"; done
    done
}

# Room for every file and folder in its own cluster, and some to spare.
image_mib=$(((folders * files_per_folder + 2 * attr_folders) * 64 / 1024 + 64))
truncate -s "${image_mib}M" "$work/stick.img"
loop=$(losetup --find --show "$work/stick.img")
mkfs.exfat -L BENCH "$loop" >/dev/null
mkdir "$work/stick"
mount.exfat-fuse "$loop" "$work/stick"
make_tree

# Prints "first repeat" seconds of one round of the tool $1.
time_round() {
    local tool=$1 target=$work/stick/target start middle end
    rm -rf "$target"
    sync
    start=$(date +%s%N)
    copy "$tool" "$target"
    sync
    middle=$(date +%s%N)
    copy "$tool" "$target" --overwrite
    sync
    end=$(date +%s%N)
    echo "$(seconds $((middle - start))) $(seconds $((end - middle)))"
}

# rsync cannot give the stick owners; what it says about that is no news.
copy() {
    case $1 in
        txcopy) "$txcopy" "$work/source" "$2" ${3:-} ;;
        rsync) rsync -a --modify-window=1 "$work/source/" "$2/" 2>/dev/null || [ $? -eq 23 ] ;;
    esac
}

echo "exFAT through exfat-fuse on $loop, $((folders * files_per_folder)) files of 4 KiB in $folders folders"
echo "load: $(uptime | sed 's/.*load average/load average/')"
declare -A first=() repeat=()
for round in $(seq 1 "$rounds"); do
    for tool in txcopy rsync; do
        read -r f r < <(time_round "$tool")
        first[$tool]+="$f "
        repeat[$tool]+="$r "
    done
done
for tool in txcopy rsync; do
    printf '  %-7s first copy median %8.3f s (%s)   repeat median %8.3f s (%s)\n' "$tool" \
        "$(median <<<"${first[$tool]}")" "${first[$tool]% }" "$(median <<<"${repeat[$tool]}")" "${repeat[$tool]% }"
done
awk -v a="$(median <<<"${first[txcopy]}")" -v b="$(median <<<"${first[rsync]}")" \
    -v c="$(median <<<"${repeat[txcopy]}")" -v d="$(median <<<"${repeat[rsync]}")" \
    'BEGIN { printf "  first copy txcopy/rsync  %.3f\n  repeat txcopy/rsync      %.3f\n", a / b, c / d }'

# A repeat over folders that are all as the source has them.
for d in $(seq -w 1 "$attr_folders"); do mkdir -p "$work/folders/f$d"; done
"$txcopy" "$work/folders" "$work/stick/folders" 2>/dev/null
calls=$(strace -f -c -o /dev/stdout -e trace=chmod,fchmod,fchmodat,utimensat,futimesat,utimes,utime \
    "$txcopy" "$work/folders" "$work/stick/folders" --overwrite 2>/dev/null | awk '$NF ~ /^(chmod|fchmod|fchmodat|utimensat|futimesat|utimes|utime)$/ { n += $4 } END { print n + 0 }')
echo "  repeat over $attr_folders unchanged folders: $calls calls that set bits or times"
