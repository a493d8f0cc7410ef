#!/usr/bin/env bash
# sarvik on the exFAT volume written through exfat-fuse (tests/exfat/make-exfat-volume.py):
# info and info --json give its geometry and label, scan lists its deleted files
# under their Unicode names, recover --all is byte-exact against the manifest
# (empty file included) and leaves the image unchanged, a snapshot is refused
# with its reason, and the classic rules refuse the volume.
# Usage: exfat.sh SARVIK VOLUMES_DIR SOURCE_DIR   (exit 77: volume missing)
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
want = {"GeometryKind": 500, "SectorsPerCluster": spc, "FirstFatSector": u32(80) * scale,
        "FatSectors": u32(84) * scale, "RootDirStart": u32(96),
        "ClusterBaseSector": u32(88) * scale - 2 * spc, "ExfatClusterCount": u32(92),
        "ExfatSerial": "21E0-FA7E", "VolumeLabel": "EXFATTEST"}
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
echo "ok"
