#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the desktop program under Xvfb on the demo image and saves a picture of
# each step (drive page, scan in progress, results, dialogs) into docs/screenshots,
# then again in dark colours (OUTDIR/dark) and at 200% (OUTDIR/200-percent),
# and of the same steps in German (OUTDIR/de).
# Usage: tools/screenshots.sh [OUTDIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshots}
bash tools/setup-debian.sh
bash tools/build.sh >/dev/null
cmake --build build --target app_screen_tour >/dev/null
mkdir -p build/demo "$out"
gzip -dc samples/demo-fat32.img.gz >build/demo/demo-fat32.img
tour() {
  xvfb-run -a -s "-screen 0 $1x24" build/bin/app_screen_tour build/demo/demo-fat32.img "$2"
}
LANG=C LC_ALL=C SARVIK_TOUR_COLOURS=light tour 1280x800 "$out"
LANG=C LC_ALL=C SARVIK_TOUR_COLOURS=dark tour 1280x800 "$out/dark"
LANG=C LC_ALL=C SARVIK_TOUR_COLOURS=light QT_SCALE_FACTOR=2 tour 2560x1600 "$out/200-percent"
# The same walk in German, the translation built into the program.
LANG=de_DE.UTF-8 LC_ALL=de_DE.UTF-8 LANGUAGE= SARVIK_TOUR_COLOURS=light tour 1280x800 "$out/de"
ls -1R "$out"
