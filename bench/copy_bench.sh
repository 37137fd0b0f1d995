#!/usr/bin/env bash
# Times txcopy against cp -a and rsync -a on two trees: 20,000 files of
# 4 KiB in 200 folders, and one 1 GiB file. The three take turns, several
# rounds each; prints the median of each and the ratios txcopy/cp and
# txcopy/rsync. The trees live in a temporary folder under $BENCH_DIR
# (default: /tmp), so that is the file system measured.
#
#   bench/copy_bench.sh [path/to/txcopy]     (default: build/tools/txcopy)
#   SMALL_ROUNDS=7 LARGE_ROUNDS=3 bench/copy_bench.sh
set -euo pipefail
cd "$(dirname "$0")/.."

txcopy=$(realpath "${1:-build/tools/txcopy}")
small_rounds=${SMALL_ROUNDS:-7}
large_rounds=${LARGE_ROUNDS:-3}
[ -x "$txcopy" ] || { echo "no txcopy at $txcopy: build the project first" >&2; exit 1; }
command -v rsync >/dev/null || { echo "rsync is missing (tools/setup.sh installs it)" >&2; exit 1; }

work=$(mktemp -d "${BENCH_DIR:-/tmp}/copy_bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

make_small_tree() {
    local block
    block=$(head -c 4096 /dev/urandom | base64 -w0 | head -c 4096)
    for d in $(seq -w 1 200); do
        mkdir -p "$work/small/dir$d"
        for f in $(seq -w 1 100); do printf '%s' "$block" > "$work/small/dir$d/file$f.dat"; done
    done
}

make_large_tree() {
    mkdir -p "$work/large"
    # Real data, not a hole: cp would skip a sparse file's holes.
    head -c 1073741824 /dev/urandom > "$work/large/big.bin"
}

# Prints the seconds one copy of $1 takes with the tool $2.
time_copy() {
    local source=$1 tool=$2 target=$work/target start end
    rm -rf "$target"
    sync
    start=$(date +%s%N)
    case $tool in
        txcopy)   "$txcopy" "$source" "$target" ;;
        progress) "$txcopy" "$source" "$target" --progress 2>/dev/null ;;
        cp)       cp -a "$source" "$target" ;;
        rsync)    rsync -a "$source/" "$target/" ;;
    esac
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.4f", ns / 1e9 }'
}

ratio() { awk -v n="$1" -v a="$2" -v b="$3" 'BEGIN { printf "  %-22s %.3f\n", n, a / b }'; }

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# bench NAME SOURCE ROUNDS TOOLS...: alternates the tools, then reports.
bench() {
    local name=$1 source=$2 rounds=$3 tool round
    shift 3
    declare -A times=()
    for round in $(seq 1 "$rounds"); do
        for tool in "$@"; do times[$tool]+="$(time_copy "$source" "$tool") "; done
    done
    declare -A med=()
    echo "== $name ($rounds rounds)"
    for tool in "$@"; do
        med[$tool]=$(tr ' ' '\n' <<<"${times[$tool]}" | grep . | median)
        printf '  %-9s median %8.3f s   (%s)\n' "$tool" "${med[$tool]}" "${times[$tool]% }"
    done
    ratio txcopy/cp "${med[txcopy]}" "${med[cp]}"
    ratio txcopy/rsync "${med[txcopy]}" "${med[rsync]}"
    [ -z "${med[progress]:-}" ] || ratio "with observer/without" "${med[progress]}" "${med[txcopy]}"
}

echo "file system: $(df -T "$work" | awk 'NR == 2 { print $2 " on " $7 }'), kernel $(uname -r)"
make_small_tree
bench "20,000 files of 4 KiB in 200 folders" "$work/small" "$small_rounds" txcopy cp rsync progress
rm -rf "$work/small"
make_large_tree
bench "one 1 GiB file" "$work/large" "$large_rounds" txcopy cp rsync
