#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# exFAT times on the volume of tests/exfat/make-exfat-times-volume.py: the
# 10 ms field counts (exfat-fuse stores an odd second as 100 of them) and a
# valid UTC offset byte puts the time into UTC, east and west of it and across
# midnight; an offset marked not valid leaves a local time as stored. The scan's
# text, JSON and body file and the recovered copies' times all say the same,
# under a zone other than UTC. Entry sets whose checksum fails (a file's and a
# deleted folder's) are listed as their entries say, marked damaged (a JSON
# member, a note in the text and on stderr), and their files come back whole.
# Usage: exfat_times.sh SARVIK VOLUMES_DIR SOURCE_DIR   (exit 77: volume missing)
set -euo pipefail
SARVIK=$1
VOLUMES=$2
IMG=$VOLUMES/exfat-times.img
MANIFEST=$VOLUMES/exfat-times.manifest.tsv
[[ -f $IMG && -f $MANIFEST ]] || { echo "no $IMG (tools/make-test-volumes.sh DIR exfat, as root)" >&2; exit 77; }
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export TZ=Asia/Tokyo # nine hours east: a local time read as UTC, or the reverse, shows

"$SARVIK" scan "$IMG" > "$WORK/scan.txt" 2> "$WORK/scan.err" || fail "scan failed"
grep -q "2 exFAT entry set(s) fail their checksum" "$WORK/scan.err" || fail "no note of damaged sets: $(cat "$WORK/scan.err")"
"$SARVIK" scan "$IMG" --json > "$WORK/scan.json" 2>/dev/null || fail "scan --json failed"
"$SARVIK" scan "$IMG" --bodyfile > "$WORK/body.txt" 2>/dev/null || fail "scan --bodyfile failed"
rc=0
"$SARVIK" recover "$IMG" --all --to "$WORK/out" > /dev/null 2>&1 || rc=$?
[[ $rc == 0 || $rc == 3 ]] || fail "recover --all: exit $rc"

python3 - "$WORK" "$MANIFEST" <<'PY'
import calendar, csv, hashlib, json, os, sys, time
work, manifest = sys.argv[1:]
doc = json.load(open(os.path.join(work, "scan.json")))
scan = {f["path"].removeprefix("/"): f for f in doc["files"]}
folders = {f["path"].removeprefix("/").removesuffix("/"): f for f in doc["folders"]}
text = open(os.path.join(work, "scan.txt"), encoding="utf-8").read().splitlines()
body = {}
for line in open(os.path.join(work, "body.txt"), encoding="utf-8"):
    f = line.rstrip("\n").split("|")
    body[f[1].removeprefix("/").removesuffix(" (deleted)")] = int(f[8])  # mtime

def seconds(iso):
    """Seconds since 1970 of the manifest's time: UTC with Z, else local (TZ)."""
    whole, _, frac = iso.rstrip("Z").partition(".")
    tm = time.strptime(whole, "%Y-%m-%dT%H:%M:%S")
    s = calendar.timegm(tm) if iso.endswith("Z") else int(time.mktime(tm))
    return s, int((frac + "00")[:2]) * 10_000_000 if frac else 0

bad = []
checked = 0
for r in csv.DictReader(open(manifest, encoding="utf-8"), delimiter="\t"):
    name, want = r["path"], r["modified"]
    damaged = "checksum_broken" in r["notes"]
    got = (folders if r["size"] == "-" else scan).get(name)
    if got is None:
        bad.append(f"{name}: not listed")
        continue
    checked += 1
    if got.get("checksumBad", False) != damaged:
        bad.append(f"{name}: checksumBad is {got.get('checksumBad')}, the set's checksum {'fails' if damaged else 'holds'}")
    if damaged and not any(os.path.basename(name) in line and line.endswith("(damaged entry set: its checksum fails)")
                           for line in text):
        bad.append(f"{name}: the text listing does not mark it damaged")
    copy = os.path.join(work, "out", name)
    if r["sha256"] != "-" and (not os.path.isfile(copy) or
                               hashlib.sha256(open(copy, "rb").read()).hexdigest() != r["sha256"]):
        bad.append(f"{name}: not recovered byte-exact")
    if want == "-":
        continue
    if got["modified"] != want:
        bad.append(f"{name}: JSON modified {got['modified']}, the entry says {want}")
    if r["created"] != "-" and got.get("created") != r["created"]:
        bad.append(f"{name}: JSON created {got.get('created')}, the entry says {r['created']}")
    shown = want.rstrip("Z").split(".")[0].replace("T", " ")
    if not any(os.path.basename(name) in line and f"  {shown}" in line for line in text):
        bad.append(f"{name}: the text listing does not show {shown}")
    sec, ns = seconds(want)
    if body.get(name) != sec:
        bad.append(f"{name}: body file mtime {body.get(name)}, want {sec}")
    if os.path.isfile(copy) and os.stat(copy).st_mtime_ns != sec * 1_000_000_000 + ns:
        bad.append(f"{name}: the copy's mtime is {os.stat(copy).st_mtime_ns}, want {sec * 1_000_000_000 + ns}")
for b in bad:
    print("FAIL:", b, file=sys.stderr)
print(f"exfat times: {checked} entries checked, {len(bad)} wrong")
sys.exit(1 if bad or checked == 0 else 0)
PY
echo "ok"
