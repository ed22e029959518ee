#!/bin/sh
# Renders Brindle's windows to PNG files in docs/ on a virtual display (Xvfb), with
# settings of its own so that the user's recent files and window position play no part.
# Usage: tools/screenshots.sh [BUILD]    (BUILD is the build folder, build by default)
# Add a picture with one more "shoot NAME [--option ...] FILE" line below.
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=docs
SETTINGS=$(mktemp -d)
trap 'rm -rf "$SETTINGS"' EXIT
mkdir -p "$OUT"

# shoot NAME ARG...: starts the program with --screenshot OUT/NAME.png ARG... and waits for it.
shoot() {
  name=$1
  shift
  XDG_CONFIG_HOME="$SETTINGS" xvfb-run -a -s "-screen 0 1024x768x24" \
    "$BUILD/app/brindle" --screenshot "$OUT/$name.png" "$@"
  echo "$OUT/$name.png"
}

shoot main-window samples/Demo.dbx
shoot folder-pane samples/Mailbox
shoot reading-pane --reading-pane --row 4 samples/Demo.dbx
shoot filter --filter ann samples/Demo.dbx
shoot find --find the samples/Demo.dbx
# Characters: the list of the version 4 demo folder (a subject whose summary lost its emoji
# is shown from the header) and that message in the viewer.
shoot characters samples/Demo.mbx
"$BUILD/cli/brindle-cli" text samples/Demo.dbx 1 >"$SETTINGS/emoji.eml"
QT_QPA_PLATFORM=offscreen "$BUILD/viewer/brindle-viewer-shots" "$SETTINGS/emoji" "$SETTINGS/emoji.eml"
cp "$SETTINGS/emoji-general.png" "$OUT/characters-viewer.png"
echo "$OUT/characters-viewer.png"
tools/screenshots-viewer.sh "$BUILD"
