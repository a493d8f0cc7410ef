#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the programs and runs them on the bundled demo image: the volume's
# information, then a scan of everything found on it.
set -euo pipefail
cd "$(dirname "$0")/.."
# Only what building and running take; tools/test.sh installs the rest.
bash tools/setup-debian.sh build
bash tools/build.sh -DSARVIK_BUILD_TESTS=OFF
mkdir -p build/demo
gzip -dc samples/demo-fat32.img.gz >build/demo/demo-fat32.img
image=build/demo/demo-fat32.img
./build/bin/sarvik info "$image"
echo
./build/bin/sarvik scan "$image"
# Where a display is present, open the desktop program on the same image.
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/bin/sarvik-undelete ]; then
  exec ./build/bin/sarvik-undelete "$image"
fi
