#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What the command line tells a user in its own words: the progress of a copy
# on a terminal (one bar for the job that never goes back, the file's name
# beside it), how to get at an image or device this user may not read, the
# option or command a mistyped one likely meant, where the JSON's schema is,
# a full device, and sizes in binary units as lsblk gives them.
# Usage: messages.sh SARVIK VOLUMES_DIR SOURCE_DIR FAULT_SHIM   (exit 77: volumes or tools missing)
set -euo pipefail
sarvik=$(realpath "$1") vols=$2 shim=${4:-}
fail() { echo "FAIL: $*" >&2; exit 1; }
[[ -f $vols/fat12.img && -f $vols/fat32.img ]] || { echo "skip: test volumes missing (tools/make-test-volumes.sh)"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# --- a mistyped option or command: the nearest one is named
status=0
"$sarvik" scan --deeep "$vols/fat32.img" >out.txt 2>err.txt || status=$?
[[ $status == 2 ]] || fail "--deeep: exit $status"
grep -qF "unknown option '--deeep' (did you mean --deep?)" err.txt || fail "--deeep: $(cat err.txt)"
"$sarvik" recover "$vols/fat32.img" --d x >/dev/null 2>err.txt && fail "--d was taken"
grep -qE "did you mean (--[a-z-]+, )+--[a-z-]+ or --dry-run\?" err.txt || fail "--d: $(cat err.txt)"
"$sarvik" scna "$vols/fat32.img" >/dev/null 2>err.txt && fail "scna ran"
grep -qF "unknown command 'scna' (did you mean scan?)" err.txt || fail "scna: $(cat err.txt)"
"$sarvik" scan --verbosity-of-ten "$vols/fat32.img" >/dev/null 2>err.txt && fail "an unknown option ran"
! grep -q "did you mean" err.txt || fail "a far-off option got a suggestion: $(cat err.txt)"

# --- --json's help says where the schema is
"$sarvik" help scan | grep -- '--json' | grep -q '/usr/share/doc/sarvik/schema/' || fail "--json's help: $("$sarvik" help scan | grep -- --json)"

# --- sizes in binary units; the exact bytes in JSON
"$sarvik" info "$vols/fat32.img" >info.txt
bytes=$(stat -c %s "$vols/fat32.img")
"$sarvik" info "$vols/fat32.img" --json >info.json
python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["capacityBytes"])' info.json >capacity.txt
grep -qE "^Capacity *: [0-9]+\.[0-9] MiB \($(cat capacity.txt) bytes\)$" info.txt || fail "info's capacity: $(grep Capacity info.txt)"
(($(cat capacity.txt) <= bytes)) || fail "capacityBytes $(cat capacity.txt) is more than the image's $bytes"
head -n1 info.txt | grep -qxE "Source +: $vols/fat32.img" || fail "info's first line: $(head -n1 info.txt)"
! grep -q "Disk Image(\|Logical Disk(\|( Approx )" info.txt || fail "info in the desktop program's words: $(cat info.txt)"
"$sarvik" drives "$vols/fat32.img" >drives.txt
head -n1 drives.txt | grep -qE '^DEVICE +SIZE +FSTYPE +LABEL +MOUNTPOINT$' || fail "drives' heading: $(head -n1 drives.txt)"
! grep -q "My Computer\|Logical Disk\|Disk Image(" drives.txt || fail "drives in the desktop program's words: $(cat drives.txt)"
grep -qE "^$vols/fat32.img +[0-9]+\.[0-9] MiB +fat32 +FAT32TEST *$" drives.txt || fail "drives' row of fat32.img: $(cat drives.txt)"
"$sarvik" drives --json "$vols/fat32.img" >drives.json
python3 - "$vols/fat32.img" "$bytes" <<'PY' || fail "drives --json: $(cat drives.json)"
import json, sys
row = [d for d in json.load(open("drives.json"))["drives"] if d["devicePath"] == sys.argv[1]][0]
assert row["sizeBytes"] == int(sys.argv[2]), row
assert row["fileSystem"] == "fat32" and row["label"] == "FAT32TEST" and row["mountPoint"] is None, row
PY
"$sarvik" scan "$vols/fat32.img" | head -n1 | grep -qE "^FAT32 volume .*fat32.img, [0-9]+\.[0-9] MiB$" ||
  fail "the scan's first line: $("$sarvik" scan "$vols/fat32.img" | head -n1)"

# --- cat to a full device
if [[ -w /dev/full ]]; then
  "$sarvik" cat "$vols/fat32.img" '/Photos/holiday 002.png' >/dev/full 2>err.txt && fail "cat to /dev/full succeeded"
  grep -q "no space left" err.txt || fail "cat to /dev/full: $(cat err.txt)"
  [[ $(grep -c . err.txt) == 1 ]] || fail "cat to /dev/full said it more than once: $(cat err.txt)"
fi

# --- an image or device this user may not read: how to get in
if [[ $(id -u) == 0 ]] && command -v setpriv >/dev/null; then
  cp "$vols/fat12.img" locked.img
  chmod 600 locked.img
  chmod 755 "$work"
  setpriv --reuid=65534 --regid=65534 --clear-groups "$sarvik" scan locked.img >/dev/null 2>err.txt && fail "scan of an unreadable image"
  grep -qF "locked.img: Permission denied: run with sudo, or copy the image somewhere you can read it" err.txt ||
    fail "unreadable image: $(cat err.txt)"
  if loop=$(losetup -f --show locked.img 2>/dev/null) && { [[ -b $loop ]] || { losetup -d "$loop"; false; }; }; then
    setpriv --reuid=65534 --regid=65534 --clear-groups "$sarvik" info "$loop" >/dev/null 2>err.txt && status=0 || status=$?
    losetup -d "$loop"
    [[ $status == 1 ]] || fail "unreadable device: exit $status"
    grep -q "permission denied: run it as root (sudo), or add --udisks" err.txt || fail "unreadable device: $(cat err.txt)"
  fi
fi

# --- the copy's progress on a terminal: one bar for the whole job, in bytes,
# never going back, with the file being written named beside it. Every read
# is slowed by its length (the fault shim) so that the line is drawn many times.
if command -v script >/dev/null && [[ -f $shim ]]; then
  script -qec "stty cols 150 rows 40; SARVIK_FAULT_SLOW_MIB=300000 LD_PRELOAD='$shim' '$sarvik' recover '$vols/fat12.img' --to '$work/out' --all" \
    /dev/null >tty.txt 2>&1 || true
  python3 - tty.txt <<'PY' || fail "the progress line (tty.txt follows): $(tr '\r' '\n' <tty.txt | head -n 40)"
import re, sys
raw = open(sys.argv[1], encoding="utf-8", errors="replace").read()
frames = [f for f in raw.replace("\n", "\r").split("\r") if f.startswith("Recovering [")]
assert len(frames) >= 5, f"{len(frames)} frames drawn"
last = -1
for f in frames:
    m = re.match(r"Recovering \[([# ]{12})\] +(\d+)%  ([0-9.]+ (?:B|KiB|MiB)) of ([0-9.]+ (?:KiB|MiB))  file (\d+) of (\d+)(?:  (.*))?$", f.rstrip())
    assert m, f"a frame out of shape: {f!r}"
    percent = int(m.group(2))
    assert percent >= last, f"went back from {last}% to {percent}%: {f!r}"
    assert m.group(1).count("#") == percent * 12 // 100, f
    assert m.group(4) == frames[0].split(" of ")[1].split("  ")[0], f"the job's total changed: {f!r}"
    last = percent
names = {re.sub(r".*  ", "", f.rstrip()) for f in frames if not re.search(r"of \d+$", f.rstrip())}
assert any(n.endswith("Large archive.dat") for n in names), names
assert not any(n.startswith("/") for n in names), f"the destination is shown: {names}"
# Partway through the large file the bar moves while the file count stays.
inside = [f for f in frames if f.rstrip().endswith("Large archive.dat")]
assert len({re.search(r"(\d+)%", f).group(1) for f in inside}) >= 2, inside
PY
  # The line is cleared before the summary.
  grep -q "written, " tty.txt || fail "no summary: $(tr '\r' '\n' <tty.txt | tail -n 5)"
fi
echo "messages: ok"
