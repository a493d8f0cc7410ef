#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Copy of a deleted, mostly sparse NTFS file: sarvik recover --all beside The
# Sleuth Kit's tsk_recover and ntfs-3g's ntfsundelete -u. The file holds a few
# MiB of random data at a few offsets and ends in a hole; the volume is larger
# than the file. Warm cache, best of three, each run into an emptied folder after
# a sync. Then the recovered bytes are checked against the file as written
# (SHA-256), and what each copy occupies on disk is shown beside its length.
# Needs root for the ntfs-3g mount. Usage: bench/recover-sparse.sh [MiB] (4608)
set -euo pipefail
cd "$(dirname "$0")/.."
mib=${1:-4608}
sarvik=build/bin/sarvik
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
for tool in mkntfs ntfs-3g tsk_recover ntfsundelete; do
  command -v "$tool" >/dev/null || { echo "needs $tool" >&2; exit 1; }
done
[ -e /dev/fuse ] || { echo "needs FUSE (/dev/fuse) to write the volume through ntfs-3g" >&2; exit 1; }
work=build/bench/recover-sparse
img=$work/ntfs-$mib.img
ref=$work/reference-$mib.bin
mnt=$work/mnt
mkdir -p "$work"

# The file as written: holes, then 4 MiB of random data at 0, 1/3 and 2/3 of
# its length, and a hole at the end.
if [ ! -f "$ref.sha256" ]; then
  rm -f "$ref"
  truncate -s "${mib}M" "$ref"
  for at in 0 $((mib / 3)) $((2 * mib / 3)); do
    head -c 4M /dev/urandom | dd of="$ref" bs=1M seek="$at" conv=notrunc status=none
  done
  sha256sum <"$ref" | cut -d' ' -f1 >"$ref.sha256"
  rm -f "$img"
fi
expected=$(cat "$ref.sha256")

if [ ! -f "$img" ]; then
  truncate -s $((mib + 1024))M "$img"
  mkntfs -F -q -Q "$img" >/dev/null 2>&1
  mkdir -p "$mnt"
  ntfs-3g "$img" "$mnt"
  trap 'umount "$mnt" 2>/dev/null || true' EXIT
  truncate -s "${mib}M" "$mnt/sparse.bin"
  for at in 0 $((mib / 3)) $((2 * mib / 3)); do
    dd if="$ref" of="$mnt/sparse.bin" bs=1M skip="$at" seek="$at" count=4 conv=notrunc status=none
  done
  echo "on the mount: $(du -B1 "$mnt/sparse.bin" | cut -f1) bytes allocated of $(stat -c %s "$mnt/sparse.bin")"
  rm "$mnt/sparse.bin"
  # Use after the delete: a few small files, which ntfs-3g gives MFT records
  # past the freed one (the check below finds the file, or says it is gone).
  for i in 1 2 3 4; do head -c $((i * 3000)) /dev/urandom >"$mnt/small$i.bin"; done
  umount "$mnt"
  trap - EXIT
fi

best() { # output folder, command...: seconds, best of three
  local out=$1; shift
  local b=""
  for _ in 1 2 3; do
    rm -rf "$out" && mkdir -p "$out" && sync
    local t0 t1 d
    t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s.%N)
    d=$(echo "$t1 - $t0" | bc)
    if [ -z "$b" ] || (( $(echo "$d < $b" | bc) )); then b=$d; fi
  done
  echo "$b"
}

check() { # label, seconds, output folder: the recovered file's digest, length and blocks
  local f
  f=$(find "$3" -type f -size +$((mib / 2))M | head -n 1)
  if [ -z "$f" ]; then
    printf '  %-22s %7.3f s  no file of the size recovered\n' "$1" "$2"
    return
  fi
  local sum verdict
  sum=$(sha256sum <"$f" | cut -d' ' -f1)
  verdict=$([ "$sum" = "$expected" ] && echo "bytes match" || echo "BYTES DIFFER")
  printf '  %-22s %7.3f s  %s, %s bytes, %s bytes on disk\n' "$1" "$2" "$verdict" \
    "$(stat -c %s "$f")" "$(du -B1 "$f" | cut -f1)"
}

echo "NTFS, a deleted file of $mib MiB, 12 MiB of it data (sha256 ${expected:0:16}...):"
tOurs=$(best "$work/out-sarvik" "$sarvik" recover "$img" --to "$work/out-sarvik" --all)
check "sarvik recover --all" "$tOurs" "$work/out-sarvik"
# With the search of free space by content (most of the volume is free),
# which tsk_recover and ntfsundelete do not do.
tDeep=$(best "$work/out-sarvik" "$sarvik" recover "$img" --to "$work/out-sarvik" --all --deep)
check "sarvik --all --deep" "$tDeep" "$work/out-sarvik"
tTsk=$(best "$work/out-tsk" tsk_recover "$img" "$work/out-tsk")
check "tsk_recover" "$tTsk" "$work/out-tsk"
tUnd=$(best "$work/out-und" ntfsundelete -u -m '*' -T -d "$work/out-und" "$img")
check "ntfsundelete -u" "$tUnd" "$work/out-und"
tReport=$(best "$work/out-report" "$sarvik" recover "$img" --to "$work/out-report" --all \
  --report "$work/report.jsonl")
check "sarvik with --report" "$tReport" "$work/out-report"
if grep -q "$expected" "$work/report.jsonl"; then
  echo "  the report's SHA-256 of the file matches"
else
  echo "  the report's SHA-256 of the file DIFFERS"
fi
rm -rf "$work"/out-*
