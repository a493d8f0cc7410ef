#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# An NTFS volume quick-formatted over a used one (mkntfs -Q; 385 files:
# tests/ntfs/make-ntfs-reformat-volume.py): what each tool brings back, by path
# (the file's own path, byte-exact) and by content (its SHA-256 anywhere in the
# output, as a carver is counted), and in how many seconds (warm cache, one run).
# sarvik recover --deep beside PhotoRec (Debian "testdisk"), tsk_recover -e
# (Debian "sleuthkit") and ntfsundelete (Debian "ntfs-3g"). Needs /dev/fuse.
# Usage: bench/ntfs-reformat.sh
set -euo pipefail
cd "$(dirname "$0")/.."
sarvik=$PWD/build/bin/sarvik
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
work=$PWD/build/bench/ntfs-reformat
mkdir -p "$work"
img=$work/reformat.img
[ -f "$img" ] || python3 tests/ntfs/make-ntfs-reformat-volume.py "$work" reformat 256 300 84

count() { # DIR: "by path / by content" against the manifest
  python3 - "$work/reformat.manifest.tsv" "$1" <<'PY'
import hashlib, os, sys
manifest = dict(line.rstrip("\n").split("\t") for line in open(sys.argv[1]))
out = sys.argv[2]
path = sum(1 for p, h in manifest.items() if os.path.isfile(os.path.join(out, p)) and
           hashlib.sha256(open(os.path.join(out, p), "rb").read()).hexdigest() == h)
seen = set()
for root, _, names in os.walk(out):
    for n in names:
        seen.add(hashlib.sha256(open(os.path.join(root, n), "rb").read()).hexdigest())
print("%d / %d" % (path, len(set(manifest.values()) & seen)))
PY
}
run() { # NAME OUT COMMAND...: run in OUT, where any log it leaves (photorec.log) stays
  local name=$1 out=$2; shift 2
  rm -rf "$out" && mkdir -p "$out"
  local t0 t1
  t0=$(date +%s.%N); (cd "$out" && "$@" >/dev/null 2>&1) || true; t1=$(date +%s.%N)
  printf '| %-34s | %-17s | %6.2f |\n' "$name" "$(count "$out")" "$(echo "$t1 - $t0" | bc)"
}
echo "| tool (385 files before the format) | by path / content | seconds |"
echo "|---|---|---|"
run "sarvik recover --all (quick scan)" "$work/quick" "$sarvik" recover "$img" --all --to "$work/quick"
run "sarvik recover --all --deep" "$work/deep" "$sarvik" recover "$img" --all --deep --to "$work/deep"
run "photorec (every format)" "$work/photorec" photorec /log /d "$work/photorec/r" /cmd "$img" \
  partition_none,options,mode_ext2,fileopt,everything,enable,search
run "tsk_recover -e" "$work/tsk" tsk_recover -e "$img" "$work/tsk"
run "ntfsundelete -u -m '*'" "$work/ntfsundelete" ntfsundelete -u -m '*' -T -d "$work/ntfsundelete" "$img"
