#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Named data streams of deleted NTFS files (written through ntfs-3g's
# streams_interface=windows): each is listed beside its file as NAME:STREAM,
# resident and non-resident alike, and recovered byte-exact as NAME~STREAM,
# from the volume and from a snapshot of its scan; the classic rules list the
# files alone.
# Usage: ntfs_streams.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$(realpath "$1")
for t in mkntfs ntfs-3g; do
    command -v "$t" >/dev/null || { echo "skip: $t not installed (Debian package ntfs-3g)"; exit 77; }
done
[[ -c /dev/fuse ]] || { echo "skip: /dev/fuse is missing"; exit 77; }
work=$(mktemp -d)
trap 'umount "$work/mnt" 2>/dev/null || true; rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

truncate -s 32M s.img
mkntfs -F -q -Q -c 4096 -s 512 -p 0 -H 1 -S 1 s.img >/dev/null 2>&1
mkdir mnt
ntfs-3g -o streams_interface=windows s.img mnt
mkdir mnt/Docs
head -c 20000 /dev/urandom >mnt/photo.jpg
printf '[ZoneTransfer]\r\nZoneId=3\r\n' >mnt/photo.jpg:Zone.Identifier
head -c 50000 /dev/urandom >mnt/photo.jpg:big
echo main >mnt/Docs/doc.txt
echo "résumé stream" >"mnt/Docs/doc.txt:Ünïcode"
(cd mnt && sha256sum photo.jpg photo.jpg:Zone.Identifier photo.jpg:big Docs/doc.txt "Docs/doc.txt:Ünïcode") |
    sed 's/:\([^ ]*\)$/~\1/' >sums.txt
rm -r mnt/photo.jpg mnt/Docs
umount mnt

"$sarvik" scan s.img --json >scan.json || fail "scan"
python3 - <<'PY' || fail "the streams are not listed as NAME:STREAM"
import json
names = sorted(f["name"] for f in json.load(open("scan.json"))["files"] if f.get("deleted"))
assert names == ["doc.txt", "doc.txt:Ünïcode", "photo.jpg", "photo.jpg:Zone.Identifier", "photo.jpg:big"], names
PY
"$sarvik" recover s.img --all --to out >/dev/null || fail "recover"
(cd out && sha256sum -c --quiet ../sums.txt) || fail "streams recovered with other bytes"
"$sarvik" scan s.img --snapshot S.RVU >/dev/null 2>&1 || fail "snapshot"
"$sarvik" recover S.RVU --all --to snap >/dev/null || fail "recover from the snapshot"
(cd snap && sha256sum -c --quiet ../sums.txt) || fail "streams from the snapshot with other bytes"
[[ $("$sarvik" scan s.img --classic | grep -c 'photo.jpg:') -eq 0 ]] || fail "the classic rules list streams"
echo "ntfs_streams: 5 of 5"
