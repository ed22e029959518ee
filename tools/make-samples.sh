#!/bin/sh
# Rebuilds the demo files in samples/ (Demo.dbx, Demo.mbx, Demo.idx, Welcome.eml and the store
# folder Mailbox/) with the test-only store writer. Usage: tools/make-samples.sh [BUILD_DIR]   (default: build)
set -eu
cd "$(dirname "$0")/.."
BUILD=${1:-build}
cmake -S . -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target brindle-make-samples -j 2
"$BUILD/tools/make-samples/brindle-make-samples" samples
ls -l samples
