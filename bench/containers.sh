#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Scan and recover-all of the three partitions of the container test disk
# (FAT16, FAT32, NTFS from build/test-volumes, as tests/cli/containers.sh
# makes it) from the raw disk, a compressed E01, a dynamic VHD, a monolithic
# sparse VMDK and a QCOW2, beside The Sleuth Kit's fls -r -d and tsk_recover
# on the raw disk, the E01, the VHD and the VMDK. Warm cache, best of five;
# each figure is the sum over the three partitions.
# Usage: bench/containers.sh (SARVIK=path names another build's program)
set -euo pipefail
cd "$(dirname "$0")/.."
sarvik=${SARVIK:-$PWD/build/bin/sarvik}
vols=$PWD/build/test-volumes
[ -x "$sarvik" ] || { echo "build first: bash tools/build.sh" >&2; exit 1; }
for t in qemu-img ewfacquirestream sfdisk fls tsk_recover bc; do
  command -v "$t" >/dev/null || { echo "missing: $t (bash tools/setup-debian.sh)" >&2; exit 1; }
done
work=$PWD/build/bench/containers
rm -rf "$work" && mkdir -p "$work" && cd "$work"

truncate -s $((336000 * 512)) disk.img
printf 'label: dos\nstart=2048, size=65536, type=6\nstart=69632, size=266240, type=5\nstart=71680, size=131072, type=c\nstart=204800, size=131072, type=7\n' |
  sfdisk -q disk.img
dd if="$vols/fat16.img" of=disk.img bs=512 seek=2048 conv=notrunc status=none
dd if="$vols/fat32-s1.img" of=disk.img bs=512 seek=71680 conv=notrunc status=none
dd if="$vols/ntfs.img" of=disk.img bs=512 seek=204800 conv=notrunc status=none
ewfacquirestream -q -t ewf -c deflate:fast <disk.img >/dev/null 2>&1
qemu-img convert -O vpc disk.img disk.vhd
qemu-img convert -O vmdk disk.img disk.vmdk
qemu-img convert -O qcow2 disk.img disk.qcow2
starts=(2048 71680 204800)

best() { # seconds, best of five, of the command; out/ emptied before each run
  local b=""
  for _ in 1 2 3 4 5; do
    rm -rf out && mkdir out
    local t0 t1 d
    t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s.%N)
    d=$(echo "$t1 - $t0" | bc)
    if [ -z "$b" ] || (( $(echo "$d < $b" | bc) )); then b=$d; fi
  done
  echo "$b"
}
ours() { # SOURCE: scan and recover every partition
  for n in 1 5 6; do   # the kernel's numbers: a primary, then two logical partitions
    "$sarvik" scan "$1@$n" --json >/dev/null
    "$sarvik" recover "$1@$n" --to "out/$n" --all >/dev/null
  done
}
tsk() { # SOURCE TYPE: fls and tsk_recover of every partition
  for s in "${starts[@]}"; do
    fls -i "$2" -o "$s" -r -d -p "$1" >/dev/null
    tsk_recover -i "$2" -o "$s" "$1" "out/$s" >/dev/null
  done
}
raw=$(best ours disk.img)
printf '%-8s %8s %8s %8s %8s\n' source sarvik ratio tsk ratio
for pair in disk.img:raw ewf.E01:ewf disk.vhd:vhd disk.vmdk:vmdk disk.qcow2:-; do
  src=${pair%%:*} type=${pair##*:}
  t=$(best ours "$src")
  if [ "$type" = - ]; then k="-"; kr="-"; else
    k=$(best tsk "$src" "$type"); kr=$(printf '%.2f' "$(echo "$t / $k" | bc -l)"); fi
  printf '%-8s %8.3f %8.2f %8s %8s\n' "$src" "$t" "$(echo "$t / $raw" | bc -l)" "$k" "$kr"
done
echo "(ratio: against this program on the raw disk; last column: this program against TSK on the same source)"
