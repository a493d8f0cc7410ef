#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# sarvik cat: every file recover writes whole comes out of cat byte for byte
# (by path and by --id) on FAT32, exFAT and NTFS; --from/--length give that
# slice of it; a file that cannot come back whole (an image cut short) gives
# exit 3 and its reason, with the same bytes recover wrote; a terminal is
# refused unless --force.
# Usage: cat.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$1 vols=$2
for v in fat32 exfat ntfs; do
    [[ -f $vols/$v.img ]] || { echo "skip: $vols/$v.img missing (tools/make-test-volumes.sh)"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# Recovers everything from IMAGE into $work/NAME with a report, then checks
# that cat gives each reported file's bytes and the status its outcome calls
# for (always 3 when LOSSY: an image cut short is a loss for every command).
check() {
    local image=$1 name=$2 lossy=${3:-no}
    "$sarvik" recover "$image" --all --to "$work/$name" --report "$work/$name.json" >/dev/null 2>&1 || true
    python3 - "$sarvik" "$image" "$work/$name.json" "$lossy" <<'PY' || fail "$name"
import hashlib, json, os, subprocess, sys
sarvik, image, report, lossy = sys.argv[1:]
records = [json.loads(line) for line in open(report)]
assert records, "the report is empty"
checked = 0
for r in records:
    if r["outcome"] not in ("written", "incomplete"):
        continue
    written = open(r["written"], "rb").read()
    run = subprocess.run([sarvik, "cat", image, r["source"]], capture_output=True)
    want = 0 if r["outcome"] == "written" and lossy == "no" else 3
    assert run.returncode == want, "%s: exit %d for %s: %s" % (r["source"], run.returncode, r["outcome"], run.stderr)
    assert run.stdout == written, "%s: %d bytes, recover wrote %d" % (r["source"], len(run.stdout), len(written))
    if r["outcome"] == "incomplete":
        assert b"incomplete" in run.stderr, run.stderr
    checked += 1
assert checked, "no file was checked"
print("%s: %d files" % (os.path.basename(image), checked))
PY
}

for v in fat32 exfat ntfs; do
    check "$vols/$v.img" "$v"
done

# An image cut short: some files come back only in part.
head -c 40000000 "$vols/ntfs.img" >"$work/cut.img"
check "$work/cut.img" cut lossy
grep -q '"outcome":"incomplete"' "$work/cut.json" || fail "the cut image left every file whole"

# By number, and a slice.
png=$work/fat32/Photos/"holiday 001.png"
id=$("$sarvik" ls "$vols/fat32.img" /Photos --json | python3 -c '
import json, sys
print(next(r["entryAddress"] for r in json.load(sys.stdin)["rows"] if r["name"] == "holiday 001.png"))')
"$sarvik" cat "$vols/fat32.img" --id "$id" | cmp - "$png" || fail "--id $id: other bytes"
"$sarvik" cat "$vols/fat32.img" "/Photos/holiday 001.png" --from 1000 --length 3000 >"$work/slice"
# (head then tail: an early reader would end a writer with SIGPIPE under pipefail)
head -c 4000 "$png" | tail -c 3000 | cmp - "$work/slice" || fail "--from 1000 --length 3000: other bytes"
[[ $("$sarvik" cat "$vols/fat32.img" "/Photos/holiday 001.png" --from 1G | wc -c) == 0 ]] || fail "--from past the end"

# Refusals.
status=0
"$sarvik" cat "$vols/fat32.img" /Photos/none.png >/dev/null 2>"$work/err" || status=$?
[[ $status == 1 ]] && grep -q "no file" "$work/err" || fail "a missing file: exit $status, $(cat "$work/err")"
status=0
"$sarvik" cat "$vols/fat32.img" >/dev/null 2>&1 || status=$?
[[ $status == 2 ]] || fail "no PATH and no --id: exit $status"
status=0
(absolute=$(realpath "$sarvik") && cd "$work" && "$absolute" recover "$vols/fat32.img" --all --to - >/dev/null 2>&1) || status=$?
[[ $status == 2 && ! -e $work/- ]] || fail "recover --to -: exit $status, or a folder named '-' made"
if command -v script >/dev/null; then
    script -qec "$sarvik cat '$vols/fat32.img' '/Photos/holiday 001.png'" /dev/null >"$work/tty" 2>&1 || true
    grep -q "standard output is a terminal" "$work/tty" || fail "a terminal is written to: $(head -c 200 "$work/tty")"
fi
echo "cat: ok"
