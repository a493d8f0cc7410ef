#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Names and patterns that are not ASCII. The terminal gives UTF-8; the classic
# scan holds names as Windows-1252 bytes and a thorough scan as UTF-8, so a
# pattern is matched as the catalogue holds names (over characters for UTF-8
# names), and what is printed is
# UTF-8 once (never encoded a second time), with columns counted in characters.
# Usage: names.sh SARVIK VOLUMES_DIR SOURCE_DIR   (exit 77: volumes missing)

set -euo pipefail
SARVIK=$1
VOLUMES=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
[[ -f $VOLUMES/fat16.img && -f $VOLUMES/ntfs.img ]] || { echo "no test volumes in $VOLUMES" >&2; exit 77; }

# Field `key` of every match in `sarvik find --json` output, one per line.
matches() {
    python3 -c 'import json,sys; [print(m[sys.argv[1]]) for m in json.load(sys.stdin)["matches"]]' "$1"
}

# NTFS, both modes: the accented name is found by an accented pattern.
for mode in --classic --thorough; do
    got=$("$SARVIK" find "$VOLUMES/ntfs.img" 'Café*' --json $mode | matches name)
    [[ $got == "Café menu.txt" ]] || fail "ntfs find 'Café*' $mode gave: $got"
    pattern=$("$SARVIK" find "$VOLUMES/ntfs.img" 'Café*' --json $mode | python3 -c 'import json,sys; print(json.load(sys.stdin)["pattern"])')
    [[ $pattern == "Café*" ]] || fail "pattern echoed as $pattern"
done

# Cyrillic: Windows-1252 cannot hold it, so only the thorough scan's UTF-8
# names can match it; the classic scan must not match it by accident.
got=$("$SARVIK" find "$VOLUMES/fat16.img" 'Отч*' --json --thorough | matches name)
[[ $got == "Отчёт за май.txt" ]] || fail "fat16 thorough find 'Отч*' gave: $got"
got=$("$SARVIK" find "$VOLUMES/ntfs.img" 'Отч*' --json --classic | matches name)
[[ -z $got ]] || fail "classic ntfs find 'Отч*' matched: $got"

# Over a thorough scan's UTF-8 names, "?" is one character and case is folded
# for accented and Cyrillic letters too.
got=$("$SARVIK" find "$VOLUMES/fat16.img" 'CAF? MENU.TXT' --json --thorough | matches name)
[[ $got == "Café menu.txt" ]] || fail "fat16 thorough find 'CAF? MENU.TXT' gave: $got"
got=$("$SARVIK" find "$VOLUMES/fat16.img" 'ОТЧЁТ*' --json --thorough | matches name)
[[ $got == "Отчёт за май.txt" ]] || fail "fat16 thorough find 'ОТЧЁТ*' gave: $got"

# A filter in the listing works the same way.
got=$("$SARVIK" ls "$VOLUMES/fat16.img" --thorough --filter '*é*' | awk 'NR > 1 && /Deleted TXT File/' | wc -l)
[[ $got == 1 ]] || fail "fat16 thorough ls --filter '*é*' listed $got deleted text files"

# Columns line up after a name with two-byte characters: the size column ends
# at the same character position on every row of the table.
"$SARVIK" find "$VOLUMES/fat16.img" '*.txt' --thorough >"${TMPDIR:-/tmp}/names.$$"
trap 'rm -f "${TMPDIR:-/tmp}/names.$$"' EXIT
python3 - "${TMPDIR:-/tmp}/names.$$" <<'PY' || fail "find columns out of line"
import sys
rows = [l.rstrip("\n") for l in open(sys.argv[1], encoding="utf-8")][:-1]
widths = {len(r) for r in rows}
assert len(rows) > 3 and any(any(ord(c) > 127 for c in r) for r in rows), rows
assert len(widths) == 1, widths
PY
echo "names: ok"
