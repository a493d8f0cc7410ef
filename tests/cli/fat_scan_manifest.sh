#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the FAT scan check against the test volumes' manifests.
exec /usr/bin/python3 -I -S "$(dirname "$0")/fat_scan_manifest.py" "$1" "$2"
