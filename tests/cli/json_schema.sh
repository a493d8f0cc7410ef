#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The JSON documents of every command that writes one, and the lines of the
# recovery report, validated against docs/schema/ (json_schema.py beside this
# script says what is run and what is checked).
# Usage: json_schema.sh SARVIK VOLUMES_DIR SOURCE_DIR   (exit 77: tools or volumes missing)
set -euo pipefail
sarvik=$1 vols=$2 src=$3
for t in python3 sfdisk sgdisk; do
    command -v "$t" >/dev/null || { echo "skip: $t not installed (Debian packages python3, fdisk, gdisk)"; exit 77; }
done
python3 -c 'import jsonschema' 2>/dev/null || { echo "skip: python3-jsonschema not installed"; exit 77; }
for v in fat12 fat12-floppy fat16 fat32 fat32-s1 exfat exfat-times ntfs ntfs-4k card-fat32 card-exfat ntfs-extents; do
    [[ -f $vols/$v.img ]] || { echo "skip: $vols/$v.img missing (tools/make-test-volumes.sh)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
python3 "$src/tests/cli/json_schema.py" "$(realpath "$sarvik")" "$(realpath "$vols")" "$(realpath "$src")" "$work"
