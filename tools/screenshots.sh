#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the desktop program under Xvfb on the demo image and saves a picture of
# each step (drive page, scan in progress, results, dialogs) into docs/screenshots,
# and of the same steps in German into docs/screenshots/de.
# Usage: tools/screenshots.sh [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}
bash tools/setup-debian.sh
bash tools/build.sh >/dev/null
cmake --build build --target app_screen_tour >/dev/null
mkdir -p build/demo "$out"
gzip -dc samples/demo-fat32.img.gz >build/demo/demo-fat32.img
LANG=C LC_ALL=C xvfb-run -a -s "-screen 0 1280x800x24" \
  build/bin/app_screen_tour build/demo/demo-fat32.img "$out"
# The same walk in German, the translation built into the program.
LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 LANGUAGE= xvfb-run -a -s "-screen 0 1280x800x24" \
  build/bin/app_screen_tour build/demo/demo-fat32.img "$out/de"
ls -1 "$out"
