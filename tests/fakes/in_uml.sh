#!/usr/bin/env bash
# Runs a test program under a User-mode Linux kernel that has the FAT
# drivers this machine's kernel lacks: the host's / is its root (through
# hostfs), /tmp a fresh tmpfs, the modules it needs loaded. Usage:
#   in_uml.sh PROGRAM [ARGUMENTS...]
# Its exit status is the program's, read back from a file on the host,
# since the kernel's own does not carry it; 77 (skipped) where the kernel
# cannot start here.
set -uo pipefail

skip() { echo "SKIP: $*"; exit 77; }

kernel=$(command -v linux.uml) || skip "linux.uml is missing (package user-mode-linux)"
modules=$(ls -d /usr/lib/uml/modules/*/kernel 2>/dev/null | head -n1)
[ -n "$modules" ] || skip "the User-mode Linux modules are missing"
insmod=$(command -v insmod) || skip "insmod is missing (package kmod)"

work=$(mktemp -d "${PWD}/uml.XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
command=$(printf '%q ' "$@")

cat >"$work/init" <<EOF
#!/bin/sh
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 LC_ALL=C.UTF-8 QT_QPA_PLATFORM=offscreen
export TX_VFAT_EXPECTED=1
echo started >"$work/started"
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t tmpfs -o size=256m tmpfs /tmp
for module in fs/nls/nls_cp437 fs/nls/nls_iso8859-1 fs/nls/nls_utf8 fs/fat/fat fs/fat/vfat drivers/block/loop; do
    $insmod "$modules/\$module.ko"
done
cd "$PWD"
$command >"$work/output" 2>&1
echo \$? >"$work/status"
sync
halt -f
EOF
chmod +x "$work/init"

# The kernel keeps its console to itself; all that matters comes through
# the files above.
timeout 110 "$kernel" mem=512M rootfstype=hostfs rootflags=/ rw init="$work/init" con=null \
    >"$work/kernel.log" 2>&1 </dev/null

[ -e "$work/started" ] || skip "the User-mode Linux kernel did not start here: $(tail -n3 "$work/kernel.log" | tr '\n' ' ')"
cat "$work/output" 2>/dev/null
[ -e "$work/status" ] || { echo "FAIL: the program under User-mode Linux did not finish"; exit 1; }
exit "$(cat "$work/status")"
