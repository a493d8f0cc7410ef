#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders the program's SVG icon to the PNG sizes that are committed beside it
# (data/icons/48, data/icons/256). Run it again after editing the SVG.
set -euo pipefail
cd "$(dirname "$0")/.."
svg=data/icons/com.velmora.SarvikUndelete.svg
for size in 48 256; do
  mkdir -p "data/icons/$size"
  rsvg-convert --width "$size" --height "$size" --output "data/icons/$size/com.velmora.SarvikUndelete.png" "$svg"
done
