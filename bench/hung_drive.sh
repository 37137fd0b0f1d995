#!/usr/bin/env bash
# How long the window goes without answering while a drive it lists hangs:
# the directory list's hung-server case (an sshfs drive whose sshd on
# 127.0.0.1 is stopped) runs a 10 ms timer through the folder listing, the
# readiness check and the free space of that drive, and says the longest
# gap between its ticks. Target: at most 200 ms. Needs root (sshfs, sshd).
#
#   sudo bench/hung_drive.sh [path/to/tst_directorylist]   ROUNDS=5 by default
set -euo pipefail
cd "$(dirname "$0")/.."
source bench/bench_lib.sh

test=$(realpath "${1:-build/tests/dialogs/tst_directorylist}")
[ -x "$test" ] || { echo "no test at $test: build the project first" >&2; exit 1; }
need_root "it mounts sshfs and starts sshd"
rounds=${ROUNDS:-5}

echo "load: $(uptime | sed 's/.*load average/load average/')"
gaps=""
for round in $(seq 1 "$rounds"); do
    out=$(QT_QPA_PLATFORM=offscreen "$test" hungServerIsNotReadyAndNothingWaitsForIt 2>&1) || { echo "$out" >&2; exit 1; }
    grep -q SKIP <<<"$out" && { grep SKIP <<<"$out" >&2; exit 1; }
    gap=$(sed -n 's/.*longest gap between the ticks of a 10 ms timer \([0-9]*\) ms.*/\1/p' <<<"$out")
    echo "  round $round: longest gap $gap ms"
    gaps+="$gap "
done
echo "  median of the longest gaps: $(median <<<"$gaps") ms (target: at most 200 ms)"
