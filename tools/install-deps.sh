#!/bin/sh
# Installs the Debian packages that building, running and testing Brindle need.
# As root it runs apt-get; otherwise it prints the exact command to run.
# Usage: tools/install-deps.sh [extra-package ...]
set -eu

PACKAGES="g++ cmake make pkg-config libgtest-dev libssl-dev qt6-base-dev qt6-image-formats-plugins \
xvfb xauth fonts-dejavu-core fonts-droid-fallback fonts-noto-color-emoji media-types poppler-utils undbx librsvg2-bin \
libuchardet-dev libetpan-dev libytnef0-dev tnef dovecot-imapd qtkeychain-qt6-dev $*"

missing=""
for pkg in $PACKAGES; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $pkg"
  fi
done

[ -z "$missing" ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  # shellcheck disable=SC2086
  apt-get install -y -qq --no-install-recommends $missing
else
  echo "Brindle needs these Debian packages. Install them with:"
  echo "  sudo apt-get install$missing"
  exit 1
fi
