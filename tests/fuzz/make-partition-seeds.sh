#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Remakes the partition-table seeds in tests/fuzz/corpus/partition with sfdisk:
# small disks (8 and 16 KiB) whose tables sit in the first sectors, so that the
# fuzzer's inputs stay short. Fixed identifiers make the files the same on
# every run.  Usage: tests/fuzz/make-partition-seeds.sh [OUTDIR]
set -euo pipefail
out=${1:-$(dirname "$0")/corpus/partition}
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A primary partition and an extended container with three logical
# partitions, each behind its own extended boot record.
truncate -s 16K "$work/mbr"
printf '%s\n' 'label: dos' 'label-id: 0x12345678' 'unit: sectors' \
    'start=1, size=2, type=6' 'start=4, size=28, type=f' \
    'start=5, size=4, type=83' 'start=10, size=6, type=7' 'start=17, size=14, type=b' |
    sfdisk -q "$work/mbr"
cp "$work/mbr" "$out/mbr-extended"

# A GPT of four entries (one sector) with two partitions; the backup header is
# the disk's last sector.
truncate -s 8K "$work/gpt"
printf '%s\n' 'label: gpt' 'label-id: 11111111-2222-3333-4444-555555555555' 'table-length: 4' \
    'unit: sectors' 'first-lba: 3' \
    'start=3, size=4, uuid=11111111-2222-3333-4444-000000000001' \
    'start=8, size=3, uuid=11111111-2222-3333-4444-000000000002' |
    sfdisk -q "$work/gpt"
cp "$work/gpt" "$out/gpt"
# The same with the primary header gone: only the backup is left to read.
cp "$work/gpt" "$out/gpt-backup-only"
dd if=/dev/zero of="$out/gpt-backup-only" bs=512 seek=1 count=1 conv=notrunc status=none
