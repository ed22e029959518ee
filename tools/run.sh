#!/bin/sh
# Starts Brindle on the demo store in samples/. Needs a display (X11 or Wayland).
set -eu
BUILD=${1:-build}
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display (DISPLAY and WAYLAND_DISPLAY are unset); on a virtual one: xvfb-run make run"
  exit 1
fi
exec "$BUILD/app/brindle" samples/Demo.dbx
