#!/usr/bin/env bash
# Installing puts the program, a valid desktop entry and the icon in the
# hicolor theme where the desktop's application menu finds them.
# Usage: install.sh BUILD_DIR
set -euo pipefail
prefix=$(mktemp -d /tmp/tandemix-install.XXXXXX)
trap 'rm -rf "$prefix"' EXIT
fail() { echo "FAIL [install]: $*" >&2; exit 1; }

cmake --install "$1" --prefix "$prefix" >/dev/null
[ -x "$prefix/bin/tandemix" ] || fail "no program in bin/"
entry=$prefix/share/applications/tandemix.desktop
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
grep -qx 'Name=TX(Tandemix)Ver.3' "$entry" || fail "wrong Name"
grep -qx 'Categories=Utility;Archiving;' "$entry" || fail "wrong Categories"
grep -q '^Comment=.*バックアップ' "$entry" || fail "no Japanese comment"
for size in 32 48 64 128 256; do
    [ -f "$prefix/share/icons/hicolor/${size}x${size}/apps/tandemix.png" ] || fail "no ${size}px icon"
done
[ -f "$prefix/share/icons/hicolor/scalable/apps/tandemix.svg" ] || fail "no scalable icon"
echo "PASS [install]"
