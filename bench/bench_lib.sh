# Shared by the benchmarks: the checks they start with, the two trees they
# copy and the rounds that time them. A script that sources it sets $work,
# the folder the trees go in, and defines time_one SOURCE STEP, which prints
# the seconds one step takes.

# need_txcopy [PATH]: the txcopy to time (default build/tools/txcopy), left
# in $txcopy.
need_txcopy() {
    txcopy=$(realpath "${1:-build/tools/txcopy}")
    [ -x "$txcopy" ] || { echo "no txcopy at $txcopy: build the project first" >&2; exit 1; }
}

# need_root WHY
need_root() { [ "$(id -u)" -eq 0 ] || { echo "needs root: $1" >&2; exit 1; }; }

need_rsync() { command -v rsync >/dev/null || { echo "rsync is missing (tools/setup.sh installs it)" >&2; exit 1; }; }

make_small_tree() {
    local block
    block=$(head -c 3072 /dev/urandom | base64 -w0) # 4096 characters
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

seconds() { awk -v ns="$1" 'BEGIN { printf "%.4f", ns / 1e9 }'; }

ratio() { awk -v n="$1" -v a="$2" -v b="$3" 'BEGIN { printf "  %-22s %.3f\n", n, a / b }'; }

# median: of the numbers on stdin, one a line or separated by spaces.
median() { tr ' ' '\n' | grep . | sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# bench NAME SOURCE ROUNDS TOOLS...: alternates the tools, running
# $before_each (if set) ahead of every timed copy; leaves the medians in med
# and the fastest rounds in fastest.
declare -A med=() fastest=()
before_each=
bench() {
    local name=$1 source=$2 rounds=$3 tool round
    shift 3
    declare -A times=()
    # The order turns round every round: a step pays for what the one before
    # it left the disk to do, so each tool comes first as often as last.
    local -a order=("$@")
    for round in $(seq 1 "$rounds"); do
        for tool in "${order[@]}"; do
            [ -z "$before_each" ] || $before_each
            times[$tool]+="$(time_one "$source" "$tool") "
        done
        mapfile -t order < <(printf '%s\n' "${order[@]}" | tac)
    done
    echo "== $name ($rounds rounds)"
    for tool in "$@"; do
        med[$tool]=$(median <<<"${times[$tool]}")
        fastest[$tool]=$(tr ' ' '\n' <<<"${times[$tool]}" | grep . | sort -n | head -1)
        printf '  %-15s median %8.3f s   (%s)\n' "$tool" "${med[$tool]}" "${times[$tool]% }"
    done
}

