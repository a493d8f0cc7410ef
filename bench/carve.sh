#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Carving benchmark on a quick-formatted camera card of a few hundred MB
# (tests/carve/make-carve-volumes.py "bench"): sarvik carve and sarvik recover
# (the quick scan, and --deep: lost folders and carving) beside PhotoRec (Debian
# "testdisk"), tsk_recover (Debian "sleuthkit") and dd reading the same bytes
# (the limit). Warm cache, best of three.
# Files back are counted by content: an output file counts when its SHA-256 is a
# file the card held before the format.
# Usage: bench/carve.sh [MB]   (default 300)
set -euo pipefail
cd "$(dirname "$0")/.."
mb=${1:-300}
sarvik=$PWD/build/bin/sarvik
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
work=$PWD/build/bench/carve
mkdir -p "$work"
img=$work/bench-card.img
manifest=$work/bench-card.manifest.tsv
if [ ! -f "$img" ] || [ "$(stat -c %s "$img")" -ne $((mb << 20)) ]; then
  echo "making a $mb MB card (once)..." >&2
  python3 tests/carve/make-carve-volumes.py "$work" bench "$mb"
fi

best() { # seconds, best of 3; the output folder is emptied before each run
  local out=$1; shift
  local b=""
  for _ in 1 2 3; do
    rm -rf "$out" && mkdir -p "$out"
    local t0 t1 d
    t0=$(date +%s.%N); (cd "$out" && "$@" >/dev/null 2>&1) || true; t1=$(date +%s.%N)
    d=$(echo "$t1 - $t0" | bc)
    if [ -z "$b" ] || (( $(echo "$d < $b" | bc) )); then b=$d; fi
  done
  printf '%.2f' "$b"
}
back() { # files of the card (before its format) whose bytes are among the outputs
  python3 - "$manifest" "$1" <<'PY'
import hashlib, os, sys
want = {}
for line in list(open(sys.argv[1]))[1:]:
    f = line.rstrip("\n").split("\t")
    if f[1] == "file" and f[4] == "formatted":
        want[f[3]] = want.get(f[3], 0) + 1
seen = set()
for root, _, names in os.walk(sys.argv[2]):
    for n in names:
        with open(os.path.join(root, n), "rb") as fh:
            seen.add(hashlib.sha256(fh.read()).hexdigest())
print(f"{sum(c for s, c in want.items() if s in seen)} of {sum(want.values())}")
PY
}

cat "$img" >/dev/null # warm the page cache
files=$(awk -F'\t' '$2 == "file" && $5 == "formatted"' "$manifest" | wc -l)
echo "card: $mb MB, $files files before the format, $(grep -c 'carve=whole' "$manifest") of them with every cluster intact after it"
printf '%-38s %8s  %s\n' "tool" "seconds" "files back byte-exact"
t=$(best "$work/dd" dd if="$img" of=/dev/null bs=4M)
printf '%-38s %8s  %s\n' "dd (read the image)" "$t" "-"
t=$(best "$work/sarvik-list" "$sarvik" carve "$img")
printf '%-38s %8s  %s\n' "sarvik carve (list only)" "$t" "-"
t=$(best "$work/sarvik-carve" "$sarvik" carve "$img" --to "$work/sarvik-carve/out")
printf '%-38s %8s  %s\n' "sarvik carve --to" "$t" "$(back "$work/sarvik-carve/out")"
t=$(best "$work/sarvik-quick" "$sarvik" recover "$img" --to "$work/sarvik-quick/out" --all)
printf '%-38s %8s  %s\n' "sarvik recover --all (quick scan)" "$t" "$(back "$work/sarvik-quick/out")"
t=$(best "$work/sarvik-recover" "$sarvik" recover "$img" --to "$work/sarvik-recover/out" --all --deep)
printf '%-38s %8s  %s\n' "sarvik recover --all --deep" "$t" "$(back "$work/sarvik-recover/out")"
t=$(best "$work/sarvik-nocarve" "$sarvik" recover "$img" --to "$work/sarvik-nocarve/out" --all --deep --no-carve)
printf '%-38s %8s  %s\n' "sarvik recover --all --deep --no-carve" "$t" "$(back "$work/sarvik-nocarve/out")"
if command -v photorec >/dev/null; then
  t=$(best "$work/photorec" photorec /log /d "$work/photorec/r" /cmd "$img" partition_none,fileopt,everything,enable,search)
  printf '%-38s %8s  %s\n' "photorec (all types)" "$t" "$(back "$work/photorec")"
fi
if command -v tsk_recover >/dev/null; then
  t=$(best "$work/tsk" tsk_recover "$img" "$work/tsk/out")
  printf '%-38s %8s  %s\n' "tsk_recover" "$t" "$(back "$work/tsk/out")"
fi
