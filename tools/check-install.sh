#!/bin/sh
# Installs a built tree into a temporary folder (prefix /usr under DESTDIR) and checks what a
# desktop sees there: the files in their places, the desktop entry and AppStream metainfo
# valid, the manual page free of warnings, the file types of the demo stores named by the
# installed type definitions, and the handler of those types our desktop entry.
# Usage: tools/check-install.sh [BUILD-FOLDER]
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
tools/install-deps.sh desktop-file-utils appstream xdg-utils libfile-mimeinfo-perl file \
  shared-mime-info groff-base

APP_ID=example.korvane.Brindle
TMP=$(mktemp -d)
trap 'rm -rf "$TMP"' EXIT
ROOT=$TMP/root
DESTDIR=$ROOT cmake --install "$BUILD" --prefix /usr >/dev/null
SHARE=$ROOT/usr/share

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

for file in bin/brindle bin/brindle-cli share/man/man1/brindle-cli.1.gz \
    share/applications/$APP_ID.desktop share/metainfo/$APP_ID.metainfo.xml \
    share/mime/packages/$APP_ID.xml share/icons/hicolor/scalable/apps/$APP_ID.svg; do
  [ -f "$ROOT/usr/$file" ] || fail "not installed: /usr/$file"
done
for size in 16 24 32 48 64 128 256 512; do
  png=$SHARE/icons/hicolor/${size}x$size/apps/$APP_ID.png
  file -b "$png" | grep -q "^PNG image data, $size x $size," || fail "not a $size x $size PNG: $png"
done

"$ROOT/usr/bin/brindle-cli" info samples/Demo.dbx >/dev/null || fail "installed brindle-cli cannot read samples/Demo.dbx"
desktop-file-validate "$SHARE/applications/$APP_ID.desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$SHARE/metainfo/$APP_ID.metainfo.xml" || fail "appstreamcli validate"
warnings=$(gzip -dc "$SHARE/man/man1/brindle-cli.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
[ -z "$warnings" ] || fail "manual page: $warnings"

# xdg-mime asks the type database in XDG_DATA_DIRS; with no desktop session it uses
# mimetype (libfile-mimeinfo-perl), which reads the installed definitions directly.
XDG_DATA_DIRS="$SHARE:/usr/share" update-mime-database "$SHARE/mime"
XDG_DATA_DIRS="$SHARE:/usr/share" update-desktop-database "$SHARE/applications"
mkdir -p "$TMP/home/data" "$TMP/home/config"
xdg() {
  env -u XDG_CURRENT_DESKTOP -u DESKTOP_SESSION -u KDE_FULL_SESSION -u GNOME_DESKTOP_SESSION_ID \
    -u MATE_DESKTOP_SESSION_ID XDG_DATA_HOME="$TMP/home/data" XDG_CONFIG_HOME="$TMP/home/config" \
    XDG_CONFIG_DIRS="$TMP/home/config" XDG_DATA_DIRS="$SHARE:/usr/share" xdg-mime "$@"
}
expect_type() {  # FILE TYPE
  found=$(xdg query filetype "$1")
  echo "$1: $found"
  [ "$found" = "$2" ] || fail "$1 is $found, not $2"
}
expect_type samples/Demo.dbx application/x-dbx-mail-folder
expect_type samples/Demo.mbx application/x-mbx-mail-folder
expect_type samples/Demo.idx application/x-mbx-mail-index
expect_type samples/Welcome.eml message/rfc822
# The stores are told by their first bytes also under names that say nothing.
for sample in Demo.dbx Demo.mbx Demo.idx; do
  cp "samples/$sample" "$TMP/${sample%.*}-${sample#*.}"
done
expect_type "$TMP/Demo-dbx" application/x-dbx-mail-folder
expect_type "$TMP/Demo-mbx" application/x-mbx-mail-folder
expect_type "$TMP/Demo-idx" application/x-mbx-mail-index
# A .dbx file is named by its extension also when its first bytes are damaged.
printf 'damaged' >"$TMP/Damaged.dbx"
expect_type "$TMP/Damaged.dbx" application/x-dbx-mail-folder

for type in application/x-dbx-mail-folder application/x-mbx-mail-folder message/rfc822; do
  handler=$(xdg query default "$type")
  echo "$type opens with: $handler"
  [ "$handler" = "$APP_ID.desktop" ] || fail "$type opens with '$handler', not $APP_ID.desktop"
done

if [ "$failures" -ne 0 ]; then
  echo "check-install: $failures check(s) failed"
  exit 1
fi
echo "check-install: the installed tree is complete and valid"
