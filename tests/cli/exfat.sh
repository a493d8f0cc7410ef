#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# sarvik on the exFAT volume written through exfat-fuse (tests/exfat/make-exfat-volume.py):
# info and info --json give its geometry and label, scan lists its deleted files
# under their Unicode names, recover --all is byte-exact against the manifest
# (empty file included) and leaves the image unchanged, a snapshot is refused
# with its reason, and the classic rules refuse the volume.
# A deleted file whose clusters an unreadable bitmap leaves unconfirmed is incomplete.
# Usage: exfat.sh SARVIK VOLUMES_DIR SOURCE_DIR [FAULT_SHIM]   (exit 77: volume missing)
# SARVIK_EXFAT_VOLUMES, when set, names another folder that holds exfat.img.

set -euo pipefail
SARVIK=$1
VOLUMES=${SARVIK_EXFAT_VOLUMES:-$2}
IMG=$VOLUMES/exfat.img
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
[[ -f $IMG && -f $VOLUMES/exfat.manifest.tsv ]] || { echo "no $IMG (tools/make-test-volumes.sh DIR exfat, as root)" >&2; exit 77; }

"$SARVIK" info "$IMG" > "$WORK/info.txt" || fail "info failed"
grep -q '^File System *: exFAT$' "$WORK/info.txt" || fail "info: $(cat "$WORK/info.txt")"
grep -q '^Volume Label *: EXFATTEST$' "$WORK/info.txt" || fail "info label: $(cat "$WORK/info.txt")"
grep -q '^Volume Serial *: 21E0-FA7E$' "$WORK/info.txt" || fail "info serial: $(cat "$WORK/info.txt")"
grep -q '^Boot Region *: checksum ok$' "$WORK/info.txt" || fail "info boot region: $(cat "$WORK/info.txt")"

"$SARVIK" info "$IMG" --json > "$WORK/info.json" || fail "info --json failed"
python3 - "$WORK/info.json" "$IMG" <<'PY'
import json, struct, sys
got = json.load(open(sys.argv[1]))
boot = open(sys.argv[2], "rb").read(512)
u32 = lambda o: struct.unpack_from("<I", boot, o)[0]
scale = (1 << boot[108]) // 512
spc = (1 << boot[109]) * scale
want = {"geometryKind": "exfat", "sectorsPerCluster": spc, "firstFatSector": u32(80) * scale,
        "fatSectors": u32(84) * scale, "rootDirStart": u32(96),
        "clusterBaseSector": u32(88) * scale - 2 * spc, "exfatClusterCount": u32(92),
        "exfatSerial": "21E0-FA7E", "volumeLabel": "EXFATTEST"}
bad = {k: (got.get(k), v) for k, v in want.items() if got.get(k) != v}
assert not bad, bad
assert got["drivePage"]["fileSystem"] == "exFAT", got["drivePage"]
PY

"$SARVIK" scan "$IMG" > "$WORK/scan.txt" || fail "scan failed"
for name in 'café ünïcödé.txt' 'Привет мир.dat' '日本語のファイル名.bin' 'ёжик.txt' 'Day 1/  (deleted)' 'frag.bin' 'empty.txt'; do
    grep -qF "$name" "$WORK/scan.txt" || fail "scan does not list $name"
done

before=$(sha256sum < "$IMG")
"$SARVIK" recover "$IMG" --to "$WORK/out" --all > "$WORK/recover.txt" || fail "recover --all failed: $(cat "$WORK/recover.txt")"
[[ $(sha256sum < "$IMG") == "$before" ]] || fail "the image changed"
python3 - "$WORK/out" "$VOLUMES/exfat.manifest.tsv" <<'PY'
import csv, hashlib, os, sys
out, manifest = sys.argv[1:]
ok = bad = 0
for r in csv.DictReader(open(manifest, encoding="utf-8"), delimiter="\t"):
    if r["type"] != "file" or r["state"] != "deleted" or "overwritten" in r["notes"]:
        continue
    p = os.path.join(out, r["path"])
    if not os.path.isfile(p) or hashlib.sha256(open(p, "rb").read()).hexdigest() != r["sha256"]:
        print("not recovered byte-exact:", r["path"], file=sys.stderr)
        bad += 1
    else:
        ok += 1
print(f"exfat: {ok} files byte-exact, {bad} wrong or missing")
sys.exit(1 if bad or not ok else 0)
PY

rc=0
"$SARVIK" scan "$IMG" --snapshot "$WORK/snap.svk" > /dev/null 2> "$WORK/snap.err" || rc=$?
[[ $rc != 0 ]] || fail "a snapshot of an exFAT scan was saved"
grep -q "exFAT snapshots are not supported" "$WORK/snap.err" || fail "snapshot refusal: $(cat "$WORK/snap.err")"

rc=0
"$SARVIK" scan "$IMG" --classic > /dev/null 2> "$WORK/classic.err" || rc=$?
[[ $rc == 1 ]] || fail "--classic scanned exFAT (exit $rc)"
grep -q "exFAT" "$WORK/classic.err" || fail "classic refusal: $(cat "$WORK/classic.err")"

# An allocation bitmap that cannot be read: the deleted fragmented file's
# clusters are a guess, so it is incomplete, never "written" (exit 3).
SHIM=${4:-}
if [[ -f $SHIM ]]; then
  bitmap=$(python3 - "$IMG" <<'PY'
import struct, sys
f = open(sys.argv[1], "rb"); boot = f.read(512)
cluster = (1 << boot[108]) << boot[109]
heap = struct.unpack_from("<I", boot, 88)[0] << boot[108]
root = struct.unpack_from("<I", boot, 96)[0]
f.seek(heap + (root - 2) * cluster); entries = f.read(cluster)
for i in range(0, len(entries), 32):
    if entries[i] == 0x81:  # the allocation bitmap's entry: first cluster, length
        first, length = struct.unpack_from("<IQ", entries, i + 20)
        print(f"{heap + (first - 2) * cluster}-{heap + (first - 2) * cluster + length}")
PY
)
  rc=0
  env SARVIK_FAULT_READ="$bitmap" LD_PRELOAD="$SHIM" "$SARVIK" recover "$IMG" --to "$WORK/nobitmap" --all \
    > /dev/null 2> "$WORK/bitmap.err" || rc=$?
  [[ $rc == 3 ]] || fail "unreadable bitmap: exit $rc"
  grep -q "frag.bin: incomplete: its clusters are a guess: the allocation bitmap could not be read" \
    "$WORK/bitmap.err" || fail "unreadable bitmap: $(cat "$WORK/bitmap.err")"
fi
echo "ok"
