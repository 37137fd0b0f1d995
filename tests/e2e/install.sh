#!/usr/bin/env bash
# Installing, and the Debian package, put the program, a valid desktop entry, the icons, a valid metainfo,
# the manual page, copyright and changelog where menus, software centres and man find them, and nothing else
# (the package as lintian wants it); the package needs the system's Qt 6, on
# which its program starts and runs until the session ends it.
# Usage: install.sh install|package BUILD_DIR VERSION (77: no appstreamcli to validate the metainfo)
set -euo pipefail
mode=$1 version=$3 work=$(mktemp -d /tmp/tandemix-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL [$mode]: $*" >&2; exit 1; }

prefix=$work/usr deb=$work/tandemix_${version}_amd64.deb
if [ "$mode" = install ]; then
    cmake --install "$2" --prefix "$prefix" >/dev/null
    files=$(find "$prefix" ! -type d -printf '%P\n')
else
    cpack -G DEB --config "$2/CPackConfig.cmake" -B "$work" >/dev/null && dpkg-deb -x "$deb" "$work"
    [[ $(dpkg-deb -f "$deb" Depends Recommends) =~ Depends:.*libqt6widgets6.*Recommends:.*fonts-noto-cjk ]] || fail "no Qt 6 widgets or CJK font"
    # Debian's own checks of a package: policy errors and warnings fail it.
    lintian --fail-on error,warning "$deb" >&2 || fail "lintian finds fault with the package"
    files=$(dpkg-deb --contents "$deb" | awk '!/^d/ { sub("^\\./usr/", "", $6); print $6 }')
fi
expected=$(printf '%s\n' bin/tandemix share/applications/tandemix.desktop share/icons/hicolor/scalable/apps/tandemix.svg \
    share/icons/hicolor/{32x32,48x48,64x64,128x128,256x256}/apps/tandemix.png share/metainfo/example.tandemix.Tandemix.metainfo.xml \
    share/man/man1/tandemix.1.gz share/doc/tandemix/{changelog.gz,copyright})
[ "$(sort <<<"$files")" = "$(sort <<<"$expected")" ] || fail "files differ: $(diff <(sort <<<"$expected") <(sort <<<"$files"))"
entry=$prefix/share/applications/tandemix.desktop
desktop-file-validate "$entry" || fail "the desktop entry is not valid"
grep -qx 'Name=TX(Tandemix)Ver.3' "$entry" || fail "wrong Name"
grep -qx 'Categories=Utility;Archiving;' "$entry" || fail "wrong Categories"
grep -q '^Comment=.*バックアップ' "$entry" || fail "no Japanese comment"
metainfo=$prefix/share/metainfo/example.tandemix.Tandemix.metainfo.xml
grep -q "<release version=\"$version\"" "$metainfo" || fail "the metainfo's release is not $version"
if [ "$mode" = package ]; then
    # System libraries only, all bound at start; the main window's first paint shows the event loop running.
    mkdir -m 700 "$work/run"
    (cd "$work/run" && exec env -i HOME="$work/run" XDG_RUNTIME_DIR="$work/run" LANG=C.UTF-8 LD_BIND_NOW=1 \
        QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES=qt.widgets.painting=true "$prefix/bin/tandemix") 2>"$work/log" &
    app=$! waited=0 drawn='Flushing .* of QDialog(.*name="frmMain")'
    until grep -q "$drawn" "$work/log" || ! kill -0 $app 2>/dev/null || ((waited++ > 200)); do sleep 0.1; done
    kill $app 2>/dev/null || :; wait $app && status=0 || status=$?
    said=$(grep -v -e '^qt\.widgets\.painting' -e '^This plugin does not support' "$work/log" || true)
    grep -q "$drawn" "$work/log" && [ $status = 143 ] && [ -z "$said" ] ||
        fail "no main window, or not ended by the SIGTERM sent (status $status): $said"
fi
command -v appstreamcli >/dev/null || { echo "SKIP [$mode]: no appstreamcli to validate the metainfo" >&2; exit 77; }
appstreamcli validate --no-net "$metainfo" >&2 || fail "the metainfo is not valid"
echo "PASS [$mode]"
