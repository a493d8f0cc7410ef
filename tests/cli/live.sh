#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# --live: the files not deleted are listed beside the deleted ones and
# recovered byte-exact through their chains and runs (their own clusters never
# count against them), on FAT16, FAT32, exFAT and NTFS; the volume's own NTFS
# files are not among them. Without --live, none is listed.
# Usage: live.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$1 vols=$2
for v in fat16 fat32 exfat ntfs; do
    [[ -f $vols/$v.img ]] || { echo "skip: $vols/$v.img missing (tools/make-test-volumes.sh)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

for v in fat16 fat32 exfat ntfs; do
    "$sarvik" recover "$vols/$v.img" --live --all --to "$work/$v" --report "$work/$v.json" >/dev/null 2>"$work/err" ||
        fail "$v: recover --live: $(cat "$work/err")"
    "$sarvik" scan "$vols/$v.img" --json >"$work/$v.scan.json" || fail "$v: scan"
    python3 - "$vols/$v.manifest.tsv" "$work/$v" "$work/$v.json" "$work/$v.scan.json" <<'PY' || fail "$v"
import csv, hashlib, json, os, sys
manifest, out, report, scan = sys.argv[1:]
rows = list(csv.DictReader(open(manifest), delimiter="\t"))
live = {r["path"]: r["sha256"] for r in rows if r["type"] == "file" and r["state"] == "live"}
assert live, "the manifest names no live file"
for path, sha in live.items():
    written = os.path.join(out, path)
    assert os.path.isfile(written), "%s: not recovered" % path
    assert hashlib.sha256(open(written, "rb").read()).hexdigest() == sha, "%s: other bytes" % path
reports = {r["source"].lstrip("/"): r for r in map(json.loads, open(report))}
for path in live:
    r = reports[path]
    assert r["outcome"] == "written" and r["overwrittenShare"] == 0, "%s: %s" % (path, r)
assert not any(n.startswith("$") for n in os.listdir(out) if os.path.isfile(os.path.join(out, n))), os.listdir(out)
assert not any(f.get("deleted") is False for f in json.load(open(scan))["files"]), "files in use listed without --live"
PY
done
"$sarvik" scan "$vols/fat16.img" --live --classic >/dev/null 2>"$work/err" || fail "classic scan with --live"
grep -q "live goes with the thorough rules" "$work/err" || fail "--live --classic says nothing: $(cat "$work/err")"
echo "live: ok"
