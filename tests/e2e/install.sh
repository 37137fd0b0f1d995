#!/usr/bin/env bash
# What the desktop's menu and software centres need lands in place, both from
# `cmake --install` and in the Debian package: the program, a valid desktop
# entry, the icons in the hicolor theme and a valid metainfo, and nothing
# else. The package depends on the system's Qt 6 and its program, taken out
# of it, starts on the system's libraries and ends when the session ends it.
# Usage: install.sh install|package BUILD_DIR VERSION
# Ends with 77 when all else passed but no appstreamcli could check the metainfo.
set -euo pipefail
mode=$1 build=$2 version=$3
work=$(mktemp -d /tmp/tandemix-$mode.XXXXXX)
app_pid=""
trap '[ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL [$mode]: $*" >&2; exit 1; }

expected="bin/tandemix
share/applications/tandemix.desktop
share/icons/hicolor/128x128/apps/tandemix.png
share/icons/hicolor/256x256/apps/tandemix.png
share/icons/hicolor/32x32/apps/tandemix.png
share/icons/hicolor/48x48/apps/tandemix.png
share/icons/hicolor/64x64/apps/tandemix.png
share/icons/hicolor/scalable/apps/tandemix.svg
share/metainfo/example.tandemix.Tandemix.metainfo.xml"

if [ "$mode" = install ]; then
    root=$work/prefix
    cmake --install "$build" --prefix "$root" >/dev/null
    files=$(cd "$root" && find . ! -type d | sed 's|^\./||' | LC_ALL=C sort)
else
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
        fail "cpack: $(cat "$work/cpack.log")"
    deb=$work/out/tandemix_${version}_amd64.deb
    [ -f "$deb" ] || fail "no $(basename "$deb"): $(ls "$work/out")"
    files=$(dpkg-deb --contents "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./usr/||' | LC_ALL=C sort)
    dpkg-deb -f "$deb" Depends | grep -q '\blibqt6widgets6\b' ||
        fail "Depends lacks the Qt 6 widgets library: $(dpkg-deb -f "$deb" Depends)"
    dpkg-deb -f "$deb" Recommends | grep -q '\bfonts-noto-cjk\b' || fail "no Japanese font recommended"
    dpkg-deb -x "$deb" "$work/root"
    root=$work/root/usr
fi
[ "$files" = "$expected" ] || fail "files differ from the expected ones:
$(diff <(echo "$expected") <(echo "$files"))"

entry=$root/share/applications/tandemix.desktop
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
grep -qx 'Name=TX(Tandemix)Ver.3' "$entry" || fail "wrong Name"
grep -qx 'Categories=Utility;Archiving;' "$entry" || fail "wrong Categories"
grep -q '^Comment=.*バックアップ' "$entry" || fail "no Japanese comment"
metainfo=$root/share/metainfo/example.tandemix.Tandemix.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"

if [ "$mode" = package ]; then
    # Only the system's libraries, each symbol bound at start; the main
    # window's first paint shows that the event loop runs.
    mkdir -p "$work/home" "$work/run" && mkdir -m 700 "$work/runtime"
    log=$work/app.log
    (cd "$work/run" && exec env -i PATH=/usr/bin:/bin HOME="$work/home" XDG_RUNTIME_DIR="$work/runtime" \
        LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=qt.widgets.painting=true LD_BIND_NOW=1 \
        "$root/bin/tandemix") 2>"$log" &
    app_pid=$!
    waited=0
    until grep -q 'Flushing .* of QDialog(.*name="frmMain")' "$log"; do
        kill -0 "$app_pid" 2>/dev/null || fail "the program ended at start: $(cat "$log")"
        ((waited++ < 200)) || fail "the main window was never drawn"
        sleep 0.1
    done
    kill -TERM "$app_pid"
    status=0
    wait "$app_pid" || status=$?
    app_pid=""
    # Beside the painting, only the offscreen platform's word on what it lacks.
    said=$(grep -v -e '^qt\.widgets\.painting' -e '^This plugin does not support' "$log" || true)
    [ "$status" = 143 ] || fail "ended with $status, not by the SIGTERM sent: $said"
    [ -z "$said" ] || fail "the program said: $said"
fi

if ! command -v appstreamcli >/dev/null; then
    echo "SKIP [$mode]: appstreamcli is not installed, so the metainfo was not validated" >&2
    exit 77
fi
appstreamcli validate --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
    fail "the metainfo is not valid: $(cat "$work/appstream.log")"
echo "PASS [$mode]"
