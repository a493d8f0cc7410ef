#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows command line under wine against the Linux one, on the FAT16,
# FAT32 and NTFS test volumes: `scan --json` lists the same folders and files,
# and `recover --all` writes the same bytes under the same names (names that
# Windows refuses, or that differ only in case, are counted and set aside); a
# report over the source image is refused.
#
#   bash tests/windows/cli-check.sh SARVIK_EXE SARVIK_LINUX TEST_VOLUMES
#
# Expects WINEPREFIX and WINEDEBUG set up as tools/build-windows.sh does.
set -euo pipefail
here=$(dirname "$(realpath "$0")") # copies.py lies beside this script
exe=$(realpath "$1")
linux=$(realpath "$2")
volumes=$(realpath "$3")
work=$(dirname "$exe")/../cli-check
rm -rf "$work"
mkdir -p "$work"
failed=0

for name in fat16 fat32 ntfs; do
  image=$volumes/$name.img
  if [ ! -f "$image" ]; then
    echo "cli-check: $image is missing (tools/make-test-volumes.sh makes it)" >&2
    exit 1
  fi
  # The JSON without the device path (Z:... against /...) and the label, which
  # Linux reads from the image with libblkid and Windows gets only for drive
  # letters; wine's console ends lines with CR LF.
  linux_status=0
  windows_status=0
  "$linux" scan "$image" --json >"$work/$name.linux.json" || linux_status=$?
  wine "$exe" scan "Z:$image" --json >"$work/$name.windows.raw" || windows_status=$?
  tr -d '\r' <"$work/$name.windows.raw" >"$work/$name.windows.json"
  for side in linux windows; do
    grep -v -E '"(devicePath|volumeLabel)"' "$work/$name.$side.json" >"$work/$name.$side.cmp"
  done
  if [ "$linux_status" != "$windows_status" ] || ! cmp -s "$work/$name.linux.cmp" "$work/$name.windows.cmp"; then
    echo "cli-check: $name: scan --json differs (exit $linux_status on Linux, $windows_status under wine)" >&2
    diff "$work/$name.linux.cmp" "$work/$name.windows.cmp" | head -20 >&2 || true
    failed=1
    continue
  fi
  rows=$(grep -c '"path":' "$work/$name.linux.cmp" || true)

  linux_status=0
  windows_status=0
  "$linux" recover "$image" --all --to "$work/$name.linux" >/dev/null 2>"$work/$name.linux.err" || linux_status=$?
  wine "$exe" recover "Z:$image" --all --to "Z:$work/$name.windows" >/dev/null 2>"$work/$name.windows.err" ||
    windows_status=$?
  if [ "$linux_status" != "$windows_status" ]; then
    echo "cli-check: $name: recover exits $linux_status on Linux, $windows_status under wine" >&2
    failed=1
  fi
  if ! /usr/bin/python3 - "$work/$name.linux" "$work/$name.windows" "$name" "$here" <<'PY'; then
import sys
linux, windows, name, here = sys.argv[1:5]
sys.path.insert(0, here)
from copies import comparable, tree

lin, win = tree(linux), tree(windows)
checked = comparable(lin)
set_aside = len(lin) - len(checked)
bad = [p for p in checked if win.get(p) != lin[p]]
for p in bad[:10]:
    print(f'cli-check: {name}: {p}: ' + ('missing under wine' if p not in win else 'different bytes'), file=sys.stderr)
if len(win) != len(lin):
    print(f'cli-check: {name}: {len(lin)} files on Linux, {len(win)} under wine', file=sys.stderr)
print(f'cli-check: {name}: {len(checked)} recovered files identical, {set_aside} set aside (names Windows refuses)',
      file=sys.stderr)
sys.exit(1 if bad or len(win) != len(lin) or not checked else 0)
PY
    failed=1
  fi
  echo "cli-check: $name: scan --json lists the same $rows folders and files" >&2
done

# A report written over the image being read is refused before anything is
# made, and the image stays whole.
cp "$volumes/fat16.img" "$work/source.img"
status=0
wine "$exe" recover "Z:$work/source.img" --all --to "Z:$work/refused" --report "Z:$work/source.img" >/dev/null \
  2>"$work/refused.err" || status=$?
if [ "$status" != 1 ] || [ -e "$work/refused" ] || ! cmp -s "$volumes/fat16.img" "$work/source.img" ||
  ! grep -q "the report is on the volume being recovered" "$work/refused.err"; then
  echo "cli-check: a report over the source image was not refused (exit $status): $(cat "$work/refused.err")" >&2
  failed=1
fi
exit "$failed"
