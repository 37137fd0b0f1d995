#!/usr/bin/env bash
# Times txcopy against cp -a copying one 1 GiB file between two file
# systems, a tmpfs of its own and the disk under $BENCH_DIR (default:
# /tmp), where the kernel cannot copy for them (copy_file_range answers
# EXDEV) and the data goes through the program. The two take turns; prints
# the medians of wall and CPU time (user + system) and the ratios
# txcopy/cp. Run it once on a quiet machine and once while another build
# runs: the gap shows under load.
#
#   bench/cross_fs_bench.sh [path/to/txcopy]     (default: build/tools/txcopy)
#   ROUNDS=7 bench/cross_fs_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

need_txcopy "$@"
need_root "mounts a tmpfs for the source"
rounds=${ROUNDS:-5}

work=$(mktemp -d "${BENCH_DIR:-/tmp}/cross_fs_bench.XXXXXX")
mkdir "$work/tmpfs"
mount -t tmpfs -o size=1100m tmpfs "$work/tmpfs"
trap 'umount "$work/tmpfs"; rm -rf "$work"' EXIT
work=$work/tmpfs make_large_tree
source=$work/tmpfs/large

echo "from tmpfs to $(df -T "$work" | awk 'NR == 2 { print $2 " on " $7 }'), kernel $(uname -r)"
echo "load: $(uptime | sed 's/.*load average/load average/')"
declare -A wall=() cpu=()
TIMEFORMAT='%R %U %S'
for round in $(seq 1 "$rounds"); do
    for tool in txcopy cp; do
        rm -rf "$work/target" && sync
        case $tool in
            txcopy) t=$( { time "$txcopy" "$source" "$work/target" >/dev/null; } 2>&1 ) ;;
            cp)     t=$( { time cp -a "$source" "$work/target"; } 2>&1 ) ;;
        esac
        read -r r u s <<<"$t"
        wall[$tool]+="$r "
        cpu[$tool]+="$(awk -v u="$u" -v s="$s" 'BEGIN { print u + s }') "
    done
done
echo "== one 1 GiB file between file systems ($rounds rounds)"
declare -A wall_med=() cpu_med=()
for tool in txcopy cp; do
    wall_med[$tool]=$(median <<<"${wall[$tool]}")
    cpu_med[$tool]=$(median <<<"${cpu[$tool]}")
    printf '  %-7s wall median %6.3f s (%s)  cpu median %6.3f s (%s)\n' "$tool" "${wall_med[$tool]}" \
        "${wall[$tool]% }" "${cpu_med[$tool]}" "${cpu[$tool]% }"
done
ratio "txcopy/cp wall" "${wall_med[txcopy]}" "${wall_med[cp]}"
ratio "txcopy/cp cpu" "${cpu_med[txcopy]}" "${cpu_med[cp]}"
