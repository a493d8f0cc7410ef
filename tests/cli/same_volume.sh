#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Nothing is written on the volume being read, however it is named: file
# systems mounted through loop devices (ntfs-3g, exfat-fuse) and fusefat, the
# source given as the loop device, as the image, as a partition PATH@N of a
# disk image or of a loop device over it, as the whole disk. Each refusal exits
# 1 and creates nothing; another partition of the same disk is a warning; the
# file system that holds the image is a fine destination. Scanning a volume
# mounted read-write warns. Needs root, loop devices and FUSE: skipped without.
# Usage: same_volume.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -u
sarvik=$1
[ "$(id -u)" = 0 ] || { echo "skip: needs root for loop devices and mounts"; exit 77; }
for tool in losetup mkntfs ntfs-3g mkfs.exfat mount.exfat-fuse sfdisk; do
  command -v "$tool" >/dev/null || { echo "skip: $tool not installed"; exit 77; }
done
[ -c /dev/fuse ] || { echo "skip: no /dev/fuse"; exit 77; }
work=$(mktemp -d)
loops=()
cleanup() {
  for m in "$work"/m*; do mountpoint -q "$m" 2>/dev/null && umount "$m"; done
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT
cd "$work"
fail() { echo "FAIL: $*"; exit 1; }
attach() { # attach VAR ARGS...: a loop device over ARGS, its name in VAR
  local dev
  dev=$(losetup -f --show "${@:2}" 2>/dev/null) && [ -b "$dev" ] || return 1
  loops+=("$dev")
  printf -v "$1" %s "$dev"
}
# refused WHAT MOUNT CMD...: exits 1 naming WHAT as on the volume being read,
# and the mounted file system holds exactly what it held before.
refused() {
  local what=$1 mount=$2
  shift 2
  local before
  before=$(ls -A "$mount")
  "$@" >out.txt 2>err.txt
  local got=$?
  [ $got = 1 ] || fail "$* exited $got, not 1: $(cat err.txt)"
  grep -q "the $what is on the volume being recovered: writing there can overwrite the files you want back. Choose a folder on another drive." err.txt ||
    fail "$*: $(cat err.txt)"
  [ "$(ls -A "$mount")" = "$before" ] || fail "$*: something was created in $mount"
}

# An NTFS image with a deleted file, mounted through a loop device.
truncate -s 32M ntfs.img
mkntfs -F -q -Q ntfs.img >/dev/null 2>&1 || fail "mkntfs"
attach ntfs ntfs.img || { echo "skip: loop devices cannot be made here"; exit 77; }
mkdir m1 ok
ntfs-3g "$ntfs" m1 || { echo "skip: ntfs-3g cannot mount here"; exit 77; }
head -c 300000 /dev/urandom >m1/lost.bin
echo keep >m1/keep.txt
sync
rm m1/lost.bin
sync
for source in "$ntfs" ntfs.img; do
  refused destination m1 "$sarvik" recover "$source" --to m1/rescue --all
  refused report m1 "$sarvik" recover "$source" --to ok/out --all --report m1/report.jsonl
  refused snapshot m1 "$sarvik" scan "$source" --snapshot m1/snap --force
  refused destination m1 "$sarvik" carve "$source" --to m1/carved
done
[ ! -e ok/out ] || fail "the destination was made although the report was refused"
refused report m1 "$sarvik" recover ntfs.img --to ok/out --all --report "$ntfs"
# The file system that holds the image is another volume: a fine destination.
"$sarvik" recover ntfs.img --to ok/out --all >out.txt 2>err.txt || fail "recover beside the image: $(cat err.txt)"
[ "$(stat -c %s ok/out/lost.bin)" = 300000 ] || fail "the deleted file did not come back from the mounted image"
grep -q "is mounted read-write at $work/m1: anything written while you work can overwrite deleted files; unmount it or remount it read-only" err.txt ||
  fail "no read-write warning: $(cat err.txt)"
[ "$(grep -c 'mounted read-write' err.txt)" = 1 ] || fail "the warning is not one line: $(cat err.txt)"
umount m1

# A disk image with two exFAT partitions, each mounted through a loop device
# at its offset; the source is named as partition 1 of the image, of a loop
# device over the whole image, and as that whole loop device.
truncate -s 80M disk.img
printf 'label: dos\nstart=2048, size=65536, type=7\nstart=67584, size=65536, type=7\n' | sfdisk -q disk.img
attach p1 -o $((2048 * 512)) --sizelimit $((65536 * 512)) disk.img || fail "losetup p1"
attach p2 -o $((67584 * 512)) --sizelimit $((65536 * 512)) disk.img || fail "losetup p2"
attach whole disk.img || fail "losetup disk"
mkdir m2 m3
mkfs.exfat "$p1" >/dev/null && mkfs.exfat "$p2" >/dev/null || fail "mkfs.exfat"
mount.exfat-fuse "$p1" m2 2>/dev/null && mount.exfat-fuse "$p2" m3 2>/dev/null || { echo "skip: exfat-fuse"; exit 77; }
for source in disk.img@1 "$whole@1" "$whole" "$p1"; do
  refused destination m2 "$sarvik" recover "$source" --to m2/rescue --all
done
"$sarvik" recover disk.img@1 --to m3/rescue --all >out.txt 2>err.txt || fail "other partition: $(cat err.txt)"
grep -q "the destination is on another partition of the disk being recovered" err.txt ||
  fail "no warning for the other partition: $(cat err.txt)"
[ -d m3/rescue ] || fail "the other partition was refused"
umount m2 m3

# fusefat mounts show no source: its daemon is found by what it holds open.
if command -v fusefat >/dev/null; then
  mkfs.fat -C fat.img 16384 >/dev/null
  mkdir m4
  if fusefat -o rw+ fat.img m4 2>/dev/null; then
    refused destination m4 "$sarvik" recover fat.img --to m4/rescue --all
    umount m4
  fi
fi
echo "ok"
