#!/bin/sh
# Installs the build into a temporary prefix and checks that every file lies
# where the desktop, man and the program itself look for it, then gives the
# menu entry and the metainfo to their validators. Every version an installed
# file names is the project's. Exit status 77 (skipped) when a validator is
# not installed.
#   check_install.sh CMAKE BUILD_DIR VERSION
set -u
cmake=$1
build=$2
version=$3
id=io.github.zembrik.Zembrik
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null || { echo "FAIL: cmake --install"; exit 1; }
cd "$prefix" || exit 1

for f in bin/zembrik bin/zembrik-batch share/zembrik/Kolvane.html share/zembrik/Kolvane_en.html \
         share/applications/$id.desktop \
         share/metainfo/$id.metainfo.xml share/icons/hicolor/scalable/apps/$id.svg; do
  [ -s "$f" ] || fail "$f missing"
done
ls share/man/man1/zembrik-batch.1* >/dev/null 2>&1 || fail "zembrik-batch manual page missing"
# Each PNG holds a picture of the size its folder names (width and height are bytes 16 to 23).
for size in 16 32 48 64 128 256; do
  png=share/icons/hicolor/${size}x${size}/apps/$id.png
  be="0 0 $((size / 256)) $((size % 256))"
  [ "$(od -An -tu1 -j16 -N8 "$png" 2>/dev/null | tr -s ' ')" = " $be $be" ] ||
    fail "$png is not a ${size}x$size PNG"
done
grep -qx "Icon=$id" share/applications/$id.desktop || fail "menu entry names another icon"
grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" share/metainfo/$id.metainfo.xml ||
  fail "metainfo names another menu entry"
# Version and help answer without a display, as over ssh or for help2man; in
# English, whatever the desktop's language or the user's settings.
nodisplay="env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM LC_ALL=C.UTF-8 LANGUAGE=en XDG_CONFIG_HOME=$prefix/config"
[ "$($nodisplay bin/zembrik --version 2>&1)" = "Zembrik $version" ] ||
  fail "zembrik --version without a display: $($nodisplay bin/zembrik --version 2>&1)"
$nodisplay bin/zembrik --help 2>&1 | grep -q '^Usage: bin/zembrik ' || fail "zembrik --help without a display"
$nodisplay bin/zembrik --help-all 2>/dev/null | grep -q -- '--platform <' || fail "zembrik --help-all without a display"
[ "$($nodisplay bin/zembrik-batch --version)" = "zembrik-batch (Zembrik) $version" ] ||
  fail "zembrik-batch --version: $(bin/zembrik-batch --version)"
for page in share/man/man1/zembrik.1* share/man/ja/man1/zembrik.1* share/man/man1/zembrik-batch.1*; do
  zcat -f "$page" | head -n 1 | grep -q "\"Zembrik $version\"" || fail "$page names another version"
done
grep -m1 '<release ' share/metainfo/$id.metainfo.xml | grep -q "version=\"$version\"" ||
  fail "the metainfo's newest release is not $version"
zcat -f share/doc/zembrik/changelog* | head -n 1 | grep -q "^zembrik ($version) " ||
  fail "the change log's newest entry is not $version"

skipped=
if command -v desktop-file-validate >/dev/null; then
  out=$(desktop-file-validate share/applications/$id.desktop 2>&1)
  [ $? -eq 0 ] && [ -z "$out" ] || fail "desktop-file-validate: $out"
else
  skipped="desktop-file-validate (Debian package desktop-file-utils)"
fi
if command -v appstreamcli >/dev/null; then
  out=$(appstreamcli validate --no-net share/metainfo/$id.metainfo.xml 2>&1) ||
    fail "appstreamcli validate: $out"
else
  skipped="$skipped appstreamcli (Debian package appstream)"
fi

[ $failed -eq 0 ] || exit 1
if [ -n "$skipped" ]; then
  echo "SKIPPED: installed tree is right, but no validator: $skipped"
  exit 77
fi
echo "installed tree and validators pass"
