#!/bin/sh
# Renders the message viewer's three tabs for a demo message to docs/viewer-general.png,
# docs/viewer-html.png and docs/viewer-source.png, on Qt's offscreen platform.
# Usage: tools/screenshots-viewer.sh [BUILD]    (BUILD is the build folder, build by default)
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
mkdir -p docs
QT_QPA_PLATFORM=offscreen "$BUILD/viewer/brindle-viewer-shots" docs/viewer
