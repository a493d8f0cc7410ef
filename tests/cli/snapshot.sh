#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Snapshot files through the command line: save after a scan, use the snapshot
# as SOURCE, point it at a moved image, warn on a volume that differs, refuse a
# wrong version, keep what precedes damage.
# Usage: snapshot.sh SARVIK TEST_VOLUMES SOURCE_DIR   (exit 77: tools missing)
set -u
sarvik=$1
for tool in mkfs.fat mcopy mdel mmd; do
  command -v "$tool" >/dev/null || { echo "skip: $tool not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }

truncate -s 20M vol.img
mkfs.fat -F16 -s 4 --invariant vol.img >/dev/null
printf 'hello\n' >h.txt
mmd -i vol.img ::/DOCS
mcopy -i vol.img h.txt ::/DOCS/gone.txt
mcopy -i vol.img h.txt ::/lost.txt
mdel -i vol.img ::/DOCS/gone.txt ::/lost.txt

"$sarvik" scan vol.img --classic --snapshot "$work/scan1" >scan.out 2>scan.err || fail "scan with --snapshot"
grep -q "saved to $work/SCAN1.RVU" scan.err || fail "save path not reported: $(cat scan.err)"
[ -f SCAN1.RVU ] || fail "SCAN1.RVU missing"

# The snapshot as SOURCE lists what the scan found, and saves back byte for byte.
# A classic snapshot keeps FAT write dates but not their time of day: it lists the
# dates alone.
"$sarvik" scan SCAN1.RVU --snapshot again.rvu >snap.out 2>snap.err || fail "scan of the snapshot"
grep -qE ' [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}$' scan.out || fail "no time of day: $(cat scan.out)"
diff <(tail -n +2 scan.out | sed -E 's/ [0-9]{2}:[0-9]{2}:[0-9]{2}$//') <(tail -n +2 snap.out) ||
  fail "listing from the snapshot differs"
cmp -s SCAN1.RVU AGAIN.RVU || fail "re-saved snapshot differs"
"$sarvik" ls SCAN1.RVU /DOCS >ls.out || fail "ls of the snapshot"
grep -q "xONE.TXT" ls.out || fail "ls misses the deleted file: $(cat ls.out)"

# A save cut short, by a file-size limit (the process is killed, or the write
# fails where the signal is ignored) or by a full file system, leaves no file
# under the snapshot's name, and a snapshot it was to replace stays as it was.
volumes=$2
"$sarvik" scan "$volumes/fat16.img" --snapshot big >/dev/null 2>&1 || fail "scan of fat16.img"
[ "$(stat -c %s BIG.RVU)" -gt 2048 ] || fail "BIG.RVU too small for the limit"
cp BIG.RVU big.before
for target in cut big; do
  ( ulimit -f 2; "$sarvik" scan "$volumes/fat16.img" --snapshot $target --force >/dev/null 2>&1; exit $? ) 2>/dev/null
  status=$?
  [ $status != 0 ] || fail "save past the file-size limit: exit 0"
  [ $status = 153 ] || [ -z "$(ls ./*.part 2>/dev/null)" ] || fail "failed save left $(ls ./*.part)"
  rm -f ./*.part
done
[ ! -e CUT.RVU ] || fail "a cut snapshot under its name ($(stat -c %s CUT.RVU) bytes)"
cmp -s BIG.RVU big.before || fail "the snapshot to replace was changed by a failed save"
mkdir full
if mount -t tmpfs -o size=8k tmpfs full 2>/dev/null; then
  head -c 5000 /dev/zero >full/fill
  (cd full && "$sarvik" scan "$volumes/fat16.img" --snapshot s >/dev/null 2>../err.txt)
  status=$?
  left=$(ls full)
  umount full
  [ $status = 1 ] || fail "save on a full file system: exit $status"
  grep -q "No space left" err.txt || fail "no reason for the failed save: $(cat err.txt)"
  [ "$left" = fill ] || fail "a full file system kept: $left"
else
  echo "note: no tmpfs mount here; the full file system case is not run"
fi

# Told by the tag, not by the name.
cp SCAN1.RVU plain.bin
"$sarvik" ls plain.bin >/dev/null 2>&1 || fail "snapshot without its extension not recognised"

# The image was named by a relative path; the snapshot finds it from elsewhere.
(cd / && "$sarvik" ls "$work/SCAN1.RVU" >/dev/null 2>"$work/err.txt") || fail "ls from another folder"
[ ! -s err.txt ] || fail "image not found from another folder: $(cat err.txt)"

# The image moved: without --device the volume cannot be opened, with it, it can.
mv vol.img moved.img
"$sarvik" ls SCAN1.RVU >/dev/null 2>err.txt
[ $? = 3 ] || fail "ls with a missing volume: not exit 3 (listed, with losses)"
grep -q "cannot open the snapshot's volume" err.txt || fail "no warning for a missing volume"
"$sarvik" ls SCAN1.RVU --device moved.img >/dev/null 2>err.txt || fail "ls --device"
[ ! -s err.txt ] || fail "unexpected warning: $(cat err.txt)"

# Another geometry at the device: a warning naming the field.
truncate -s 20M other.img
mkfs.fat -F16 -s 8 --invariant other.img >/dev/null
"$sarvik" ls SCAN1.RVU --device other.img >/dev/null 2>err.txt
[ $? = 3 ] || fail "ls --device other: not exit 3"
grep -q "sectors per cluster: snapshot 4, volume 8" err.txt || fail "no mismatch warning: $(cat err.txt)"

# A wrong version is refused with the format's message and a failure status.
{ printf 'rvx4.022.0'; tail -c +11 SCAN1.RVU; } >v2.rvu
if "$sarvik" ls v2.rvu >/dev/null 2>err.txt; then fail "version 2.0 accepted"; fi
grep -q "version of file does not match with current version 1.0" err.txt || fail "version message: $(cat err.txt)"

# Cut inside the last record: loads with a warning, keeps the records before it,
# and is not taken for a whole listing (exit 3, listing and copy alike).
head -c $(( $(stat -c %s SCAN1.RVU) - 3 )) SCAN1.RVU >cut.rvu
"$sarvik" scan cut.rvu --device moved.img >cut.out 2>err.txt
[ $? = 3 ] || fail "scan of a cut snapshot: not exit 3"
grep -q "damaged" err.txt || fail "no damage warning: $(cat err.txt)"
grep -q "1 folder(s), 1 deleted file(s) found" cut.out || fail "cut snapshot: $(tail -1 cut.out)"
"$sarvik" recover cut.rvu --device moved.img --to rec --all >/dev/null 2>&1
[ $? = 3 ] || fail "recover from a cut snapshot: not exit 3"

# A snapshot of a scan that could not read a root folder sector says so when
# it is loaded, with exit 3; before it recorded nothing and loaded as whole.
shim=$4
root=$(python3 -c "
import struct; b = open('moved.img', 'rb').read(512)
reserved, = struct.unpack_from('<H', b, 14); per_fat, = struct.unpack_from('<H', b, 22)
print((reserved + b[16] * per_fat) * 512)")
for rules in --classic --thorough; do
  env SARVIK_FAULT_READ=$root-$((root + 512)) LD_PRELOAD="$shim" "$sarvik" scan $rules moved.img \
    --snapshot lossy --force >/dev/null 2>&1
  [ $? = 3 ] || fail "$rules: scan with an unreadable sector: not exit 3"
  "$sarvik" scan LOSSY.RVU >/dev/null 2>err.txt
  [ $? = 3 ] || fail "$rules: snapshot of a scan with losses: not exit 3"
  grep -q "could not read 1 sector(s) and 0 MFT record(s)" err.txt || fail "$rules: losses not told: $(cat err.txt)"
done
echo ok
