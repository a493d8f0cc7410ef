#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Exit statuses and loss reports: sectors that cannot be read (in folders and in
# file data), output to a full device, Ctrl-C, a snapshot replayed against
# another volume, a snapshot file that exists, a destination that is not a
# folder, a report or snapshot that is the source, and memory running out. Faults come from a preloaded shim.
# Usage: outcomes.sh SARVIK TEST_VOLUMES SOURCE_DIR FAULT_SHIM   (exit 77: tools missing)
set -u
sarvik=$1
shim=${4:-}
for tool in mkfs.fat mcopy mdel python3; do
  command -v "$tool" >/dev/null || { echo "skip: $tool not installed"; exit 77; }
done
[ -f "$shim" ] || { echo "skip: no fault shim"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
# expect STATUS TEXT CMD...: CMD exits with STATUS and its standard error holds TEXT.
expect() {
  local want=$1 text=$2
  shift 2
  "$@" >out.txt 2>err.txt
  local got=$?
  [ "$got" = "$want" ] || fail "$* exited $got, not $want: $(cat err.txt)"
  [ -z "$text" ] || grep -q -- "$text" err.txt || fail "$*: no '$text' in: $(cat err.txt)"
}

truncate -s 20M vol.img
mkfs.fat -F16 -s 4 --invariant vol.img >/dev/null
head -c 300000 /dev/urandom >big.bin
mcopy -i vol.img big.bin ::/big.bin
mdel -i vol.img ::/big.bin
# Byte offsets of the root directory and of the data area (cluster 2, big.bin's first).
read -r root data < <(python3 -c "
import struct; b = open('vol.img', 'rb').read(512)
reserved, = struct.unpack_from('<H', b, 14); fats = b[16]; entries, = struct.unpack_from('<H', b, 17)
per_fat, = struct.unpack_from('<H', b, 22); root = (reserved + fats * per_fat) * 512
print(root, root + entries * 32)")

expect 2 "usage" "$sarvik" scan
for rules in --classic --thorough; do
  # A root directory that cannot be read is not "0 deleted file(s) found" with success.
  expect 3 "32 sector(s) and 0 MFT record(s) could not be read" \
    env SARVIK_FAULT_READ=$root-$data LD_PRELOAD="$shim" "$sarvik" scan $rules vol.img
  # Zeros written for unreadable blocks name the file and exit 3.
  rm -rf out
  expect 3 "out/.[iI][gG]\.[bB][iI][nN]: incomplete: [0-9]* unreadable block(s) written as zeros" \
    env SARVIK_FAULT_READ=$((data + 2048))-$((data + 4096)) LD_PRELOAD="$shim" "$sarvik" recover $rules vol.img --to out --all
  [ "$(stat -c %s out/*)" = 300000 ] || fail "$rules: the zero-filled file is not whole-sized"
done

# FAT sectors that cannot be read (both copies, where big.bin's clusters are
# listed): its clusters are a guess, so the copy is incomplete, never "written".
fat=$(python3 -c "
import struct; b = open('vol.img', 'rb').read(512)
print(struct.unpack_from('<H', b, 14)[0] * 512, struct.unpack_from('<H', b, 22)[0] * 512)")
read -r fat1 perfat <<<"$fat"
rm -rf out
expect 3 "out/_ig.bin: incomplete: its clusters are a guess: the allocation table could not be read" \
  env SARVIK_FAULT_READ=$fat1-$((fat1 + perfat + 512)) LD_PRELOAD="$shim" \
  "$sarvik" recover vol.img --to out --all --report report.jsonl
grep -q '"outcome":"incomplete"' report.jsonl || fail "unreadable FAT: $(cat report.jsonl)"

# Output that cannot be written is a failure.
"$sarvik" scan --classic vol.img --json >/dev/full 2>err.txt && fail "--json to /dev/full succeeded"
grep -q "cannot write the output: No space left on device" err.txt || fail "full device: $(cat err.txt)"

# Ctrl-C during a copy from a slow disk: "interrupted", the file cut short, 130.
rm -rf out
env SARVIK_FAULT_SLOW=200000 LD_PRELOAD="$shim" "$sarvik" recover --classic vol.img --to out --all >out.txt 2>err.txt &
pid=$!
for _ in $(seq 200); do [ -e out/xIG.BIN.part ] && break; sleep 0.05; done
kill -INT $pid
wait $pid
status=$?
[ $status = 130 ] || fail "interrupted recover exited $status: $(cat err.txt)"
grep -q "^interrupted: " out.txt || fail "summary does not say interrupted: $(cat out.txt)"
# The fragment keeps its working name: nothing under the real name looks whole.
grep -q "xIG.BIN.part: cut short" err.txt || fail "cut-short file not named: $(cat err.txt)"
[ ! -e out/xIG.BIN ] || fail "a stopped copy left out/xIG.BIN"

# A killed copy leaves only its working name; a rerun into the same folder
# writes the file whole under its own name, whatever the duplicate rule.
for rule in rename skip; do
  rm -rf out
  env SARVIK_FAULT_SLOW=200000 LD_PRELOAD="$shim" "$sarvik" recover --classic vol.img --to out --all >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 200); do [ -e out/xIG.BIN.part ] && break; sleep 0.05; done
  kill -KILL $pid
  wait $pid 2>/dev/null
  [ -e out/xIG.BIN.part ] && [ ! -e out/xIG.BIN ] || fail "killed copy: $(ls out)"
  expect 0 "" "$sarvik" recover --classic vol.img --to out --all --duplicates $rule
  cmp -s out/xIG.BIN big.bin || fail "rerun ($rule) did not write xIG.BIN whole: $(ls out) $(cat out.txt)"
  grep -q "^1 written" out.txt || fail "rerun ($rule): $(cat out.txt)"
done

# Six files on a slow disk, for signals that arrive part way through a copy.
truncate -s 20M six.img
mkfs.fat -F16 -s 4 --invariant six.img >/dev/null
for i in 1 2 3 4 5 6; do head -c 200000 /dev/urandom >f$i.bin; mcopy -i six.img f$i.bin ::/F$i.BIN; done
# Deleted after all are written (mtools reuses freed slots and clusters); the
# classic rules recover them as x1.BIN ... x6.BIN.
for i in 1 2 3 4 5 6; do mdel -i six.img ::/F$i.BIN; done
# slowCopy SIGNAL: starts a slow copy of six.img into out with a report, sends
# SIGNAL once two files are whole, and leaves the exit status in $status.
slowCopy() {
  rm -rf out report.jsonl
  env SARVIK_FAULT_SLOW=150000 LD_PRELOAD="$shim" "$sarvik" recover --classic six.img --to out --all \
    --report report.jsonl >out.txt 2>err.txt &
  local pid=$!
  for _ in $(seq 400); do [ "$(ls out 2>/dev/null | grep -vc part)" -ge 2 ] && break; sleep 0.05; done
  kill -"$1" $pid
  { wait $pid; } 2>/dev/null
  status=$?
}
# Each file whose line the report holds is whole under its name; no other file
# carries a real name.
checkWhole() {
  local lines names
  lines=$(wc -l <report.jsonl)
  names=$(ls out | grep -vc '\.part$')
  [ "$lines" -ge 2 ] || fail "$1: $lines report line(s) after two files were done"
  [ "$lines" = "$names" ] || [ "$1" != KILL ] || fail "$1: $lines report line(s) for $names file(s): $(ls out)"
  for f in $(ls out | grep -v '\.part$'); do
    cmp -s out/$f "f$(echo "$f" | tr -dc 0-9).bin" || fail "$1: out/$f is not whole"
  done
}
for sig in TERM:143 HUP:129; do
  slowCopy "${sig%:*}"
  [ "$status" = "${sig#*:}" ] || fail "SIG${sig%:*} during a copy: exit $status, not ${sig#*:}: $(cat err.txt)"
  grep -q "^interrupted: " out.txt || fail "SIG${sig%:*}: no summary: $(cat out.txt)"
  checkWhole "${sig%:*}"
  grep -q '"outcome":"cut short"' report.jsonl || fail "SIG${sig%:*}: the cut file is not in the report"
done
slowCopy KILL
checkWhole KILL
# SIGTERM during a slow scan ends it too, with 143.
env SARVIK_FAULT_SLOW=700000 LD_PRELOAD="$shim" "$sarvik" scan --classic six.img >out.txt 2>err.txt &
pid=$!
sleep 1
kill -TERM $pid
wait $pid
status=$?
[ $status = 143 ] || fail "SIGTERM during a scan: exit $status: $(cat err.txt)"

# A file-size limit (100 KiB) is a write error that names the file; the report says
# what the file holds.
rm -rf out
(ulimit -f 100; "$sarvik" recover --classic six.img --to out /x1.BIN --report report.jsonl >out.txt 2>err.txt)
status=$?
[ $status = 3 ] || fail "ulimit -f: exit $status: $(cat err.txt)"
grep -q "x1.BIN.part: incomplete: writing failed after 102400 of 200000 bytes (File too large)" err.txt ||
  fail "ulimit -f: $(cat err.txt)"
grep -q '"bytesWritten":102400,' report.jsonl && [ "$(stat -c %s out/x1.BIN.part)" = 102400 ] ||
  fail "ulimit -f: $(cat report.jsonl) $(ls -l out)"

# With standard output and error closed, messages do not land in the report.
rm -rf out
env SARVIK_FAULT_READ=$((data + 2048))-$((data + 4096)) LD_PRELOAD="$shim" \
  "$sarvik" recover vol.img --to out --all --report report.jsonl >&- 2>&-
[ "$(grep -vc '^{' report.jsonl)" = 0 ] || fail "closed descriptors: the report holds: $(cat report.jsonl)"

# Snapshots: never replace a file without --force, never write to a device.
expect 0 "saved to KEEP.RVU" "$sarvik" scan --classic vol.img --snapshot keep
cp KEEP.RVU before.rvu
touch -d 2000-01-01 KEEP.RVU
expect 1 "KEEP.RVU: the file exists" "$sarvik" scan --classic vol.img --snapshot keep
[ "$(stat -c %Y KEEP.RVU)" = "$(date -d 2000-01-01 +%s)" ] || fail "KEEP.RVU was rewritten"
expect 0 "saved to KEEP.RVU" "$sarvik" scan --classic vol.img --snapshot keep --force
ln -s before.rvu LINK.RVU
expect 1 "symbolic link" "$sarvik" scan --classic vol.img --snapshot link --force
expect 1 "/dev/full: not a plain file" "$sarvik" scan --classic vol.img --snapshot /dev/full --force
[ ! -e /dev/FULL.RVU ] || fail "a file was made in /dev"

# A snapshot replayed against another volume says so and exits 3; against no
# volume at all nothing can be copied: 1.
truncate -s 20M other.img
mkfs.fat -F16 -s 8 --invariant other.img >/dev/null
rm -rf out
expect 3 "does not match the snapshot" "$sarvik" recover KEEP.RVU --device other.img --to out --all
expect 1 "nothing was written" "$sarvik" recover KEEP.RVU --device missing.img --to out2 --all

# The destination is checked before the scan, with the system's reason.
expect 1 "Not a directory" env SARVIK_FAULT_READ=0-512 LD_PRELOAD="$shim" "$sarvik" recover --classic vol.img --to big.bin --all

# A report or snapshot that would be the source itself is refused before
# anything is made: the image (or the snapshot read) stays as it was.
same="the report is on the volume being recovered: writing there can overwrite the files you want back"
cp vol.img VOL.RVU
sum=$(sha256sum <vol.img)
rm -rf out
expect 1 "$same" "$sarvik" recover vol.img --to out --all --report vol.img
expect 1 "the snapshot is on the volume being recovered" "$sarvik" recover VOL.RVU --to out --all --snapshot vol --force
expect 1 "the snapshot is on the volume being recovered" "$sarvik" scan VOL.RVU --snapshot vol --force
[ ! -e out ] && [ "$(sha256sum <vol.img)" = "$sum" ] && [ "$(sha256sum <VOL.RVU)" = "$sum" ] ||
  fail "a refused path was written or the destination made"
cp KEEP.RVU snap.rvu
expect 1 "$same" "$sarvik" recover snap.rvu --to out --all --report snap.rvu
expect 1 "$same" "$sarvik" recover snap.rvu --device vol.img --to out --all --report vol.img
cmp -s KEEP.RVU snap.rvu && [ ! -e out ] || fail "the snapshot read was written over"

# Out of memory at any point of a scan or a snapshot load: the message and 1,
# never an abort. (Limits start above what the C++ runtime itself needs to throw.)
ended=0
for limit in 100000 150000 250000 400000 700000 1200000 2000000; do
  for source in vol.img KEEP.RVU; do
    SARVIK_FAULT_MALLOC=$limit LD_PRELOAD=$shim "$sarvik" scan --thorough $source >/dev/null 2>err.txt
    status=$?
    case $status in
      0) ;;
      1) grep -q "Out of memory, close other applications and run again" err.txt ||
           fail "limit $limit, $source: exit 1 without the message: $(cat err.txt)"
         ended=$((ended + 1)) ;;
      *) fail "limit $limit, $source: exit $status: $(cat err.txt)" ;;
    esac
  done
done
[ $ended -gt 0 ] || fail "no limit ran out of memory"

# Too little address space for a thread's stack: the same message and 1.
ended=0
for limit in 16000 20000 24000 32000 40000 48000 64000; do
  rm -rf out
  (ulimit -v $limit; "$sarvik" recover --classic vol.img --to out --all >/dev/null 2>err.txt)
  status=$?
  case $status in
    0|3) ;;
    1) grep -q "Out of memory, close other applications and run again" err.txt ||
         fail "ulimit -v $limit: exit 1 without the message: $(cat err.txt)"
       ended=$((ended + 1)) ;;
    127) grep -q "error while loading shared libraries" err.txt ||
           fail "ulimit -v $limit: exit 127: $(cat err.txt)" ;; # too small for the program to start at all
    *) fail "ulimit -v $limit: exit $status: $(cat err.txt)" ;;
  esac
done
[ $ended -gt 0 ] || fail "no address-space limit stopped the copy"

# A raw device the user may not open says how to get in, exit 1. Needs a loop
# device and a user to drop to; skipped quietly where neither is possible.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null && loop=$(losetup -f --show vol.img 2>/dev/null) &&
  { [ -b "$loop" ] || { losetup -d "$loop"; false; }; }; then
  setpriv --reuid=65534 --regid=65534 --clear-groups "$sarvik" info "$loop" >/dev/null 2>err.txt
  status=$?
  losetup -d "$loop"
  [ $status = 1 ] || fail "unopenable device: exit $status"
  grep -q "permission denied: run it as root (sudo), or add --udisks to have the system's disk manager open it once polkit has asked for the password, or join the disk group" err.txt ||
    fail "unopenable device: $(cat err.txt)"
fi
echo "ok"
