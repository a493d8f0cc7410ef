#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Snapshot files saved by earlier builds (tests/snapshot/saved: thorough and
# classic scans of FAT12/16/32 and NTFS test volumes, deep searches, and the
# oldest format in the fuzz corpus) must load and list exactly as they did when
# they were saved: the scan listing, its JSON and the find of every name.
# Usage: saved_snapshots.sh SARVIK TEST_VOLUMES SOURCE_DIR
set -u
sarvik=$1
saved=$3/tests/snapshot/saved
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$saved" || exit 1
failed=0
count=0
for snap in *.RVU; do
  base=${snap%.RVU}
  "$sarvik" scan "$snap" >"$work/scan.txt" 2>/dev/null
  "$sarvik" scan "$snap" --json >"$work/scan.json" 2>/dev/null
  "$sarvik" find "$snap" '*' >"$work/find.txt" 2>/dev/null
  for kind in scan.txt json find.txt; do
    got=$work/${kind/json/scan.json}
    if ! cmp -s "$got" "$base.$kind"; then
      echo "FAIL: $snap: $kind differs from the saved listing"
      diff "$base.$kind" "$got" | head -20
      failed=1
    fi
  done
  count=$((count + 1))
done
[ "$count" -ge 19 ] || { echo "FAIL: only $count snapshots found in $saved"; exit 1; }
[ $failed -eq 0 ] && echo "ok: $count saved snapshots list as they did"
exit $failed
