#!/bin/sh
# Starts Brindle on the demo store. Until the desktop viewer exists this lists the store with brindle-cli.
set -eu
BUILD=${1:-build}
exec "$BUILD/cli/brindle-cli" list samples/Demo.dbx
