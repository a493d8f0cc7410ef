#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Disk image containers: one MBR disk (FAT16, FAT32 and NTFS partitions) made
# into a dynamic and a fixed VHD, a VHDX, a monolithic and a split VMDK, a
# QCOW2 and a QCOW2 over a backing file (qemu-img), an E01 in several segments
# (ewfacquirestream) and a split raw set (split); a VMDK over a parent and a
# differencing VHD (built here) too. Each partition of each must
# scan and recover as the raw disk's does; a container cut short must never
# pass a file off as whole; a container this program cannot read says so.
# Usage: containers.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$1 vols=$2
for t in sfdisk qemu-img ewfacquirestream split python3; do
    command -v "$t" >/dev/null || { echo "skip: $t not installed (Debian packages fdisk, qemu-utils, ewf-tools)"; exit 77; }
done
for v in fat16 fat32-s1 ntfs; do
    [[ -f $vols/$v.img ]] || { echo "skip: $vols/$v.img missing (tools/make-test-volumes.sh)"; exit 77; }
done
"$sarvik" info "$vols/fat16.img" | grep -q "QEMU disk" || { echo "skip: this build reads no containers"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

truncate -s $((336000 * 512)) disk.img
printf 'label: dos\nstart=2048, size=65536, type=6\nstart=69632, size=266240, type=5\nstart=71680, size=131072, type=c\nstart=204800, size=131072, type=7\n' |
    sfdisk -q disk.img
dd if="$vols/fat16.img" of=disk.img bs=512 seek=2048 conv=notrunc,sparse status=none
dd if="$vols/fat32-s1.img" of=disk.img bs=512 seek=71680 conv=notrunc,sparse status=none
dd if="$vols/ntfs.img" of=disk.img bs=512 seek=204800 conv=notrunc,sparse status=none

# Names that do not say what the files are: a container is known by its content.
qemu-img convert -O vpc disk.img dynamic.bin
qemu-img convert -O vpc -o subformat=fixed disk.img fixed.vhd
qemu-img convert -O vhdx disk.img disk.vhdx
qemu-img convert -O vmdk disk.img mono.img
qemu-img convert -O vmdk -o subformat=twoGbMaxExtentSparse disk.img split.vmdk
qemu-img convert -O qcow2 disk.img base.qcow2
qemu-img create -q -f qcow2 -b base.qcow2 -F qcow2 child.qcow2
qemu-img create -q -f vmdk -b mono.img -F vmdk child.vmdk
ewfacquirestream -q -t ewf -S 40MiB -c none -m fixed -C case -D disk -E 1 -e tester -N notes <disk.img >/dev/null 2>&1 ||
    fail "ewfacquirestream"
split -b 64M -d -a 3 --numeric-suffixes=1 disk.img piece.
containers=(dynamic.bin fixed.vhd disk.vhdx mono.img split-s001.vmdk child.vmdk base.qcow2 child.qcow2 ewf.E01 piece.001)

# What holds the volume is named, with the hash an E01 stores.
"$sarvik" info ewf.E01 >info.txt || fail "info ewf.E01"
grep -Eq "^Container *: EnCase image \(E01\), [2-9] segments; media 164.1 MiB" info.txt || fail "E01 info: $(cat info.txt)"
grep -Eq "^Stored hash *: MD5 $(md5sum <disk.img | cut -c1-32)$" info.txt || fail "E01 hash: $(cat info.txt)"
"$sarvik" info child.qcow2@6 >info.txt || fail "info child.qcow2@6"
grep -Eq "^Container *: .*backing file base.qcow2" info.txt || fail "backing file not named: $(cat info.txt)"

# JSON of a scan without the field that names the source, the device path.
# The label stays: inside a container it is the volume's own, as on the raw disk.
scan_json() { # SOURCE OUT
    "$sarvik" scan "$1" --json >"$2.raw" || fail "scan $1"
    python3 - "$2.raw" "$2" <<'PY'
import json, sys
d = json.load(open(sys.argv[1]))
d["volume"].pop("devicePath")
json.dump(d, open(sys.argv[2], "w"), sort_keys=True)
PY
}
# What the drive list, the volume search and info say of a disk and its
# volumes (labels and file systems), the disk's name put as IMG and what only
# a container has (its description, its stored hash) left out.
listing() { # SOURCE OUT
    {
        "$sarvik" drives --json "$1" && "$sarvik" volumes "$1" && "$sarvik" info "$1" || fail "listing $1"
        for n in 1 5 6 lost3; do "$sarvik" info "$1@$n" || fail "info $1@$n"; done
    } | grep -Ev "^(Container|Stored hash) *:" | sed "s/${1//./\\.}/IMG/g" | tr -s ' ' >"$2"
}
# SHA-256 of every file `recover --all` writes, and its exit status.
recover_sums() { # SOURCE OUT
    rm -rf out && mkdir out
    local status=0
    "$sarvik" recover "$1" --to out --all >/dev/null 2>&1 || status=$?
    (cd out && find . -type f -print0 | sort -z | xargs -0r sha256sum) >"$2"
    echo "status $status" >>"$2"
}
for n in 1 5 6; do
    scan_json "disk.img@$n" "want$n.json"
    recover_sums "disk.img@$n" "want$n.sums"
    grep -qx "status 0" "want$n.sums" || fail "recovery from the raw disk's partition $n: $(tail -1 "want$n.sums")"
    [[ $(wc -l <"want$n.sums") -gt 5 ]] || fail "too few files recovered from the raw disk's partition $n"
done
listing disk.img want.lst
grep -q "Volume Label : TESTNTFS" want.lst || fail "no label in the raw disk's listing: $(cat want.lst)"
for c in "${containers[@]}"; do
    listing "$c" got.lst
    cmp -s want.lst got.lst || fail "listing of $c differs from the raw disk's: $(diff want.lst got.lst | head -5)"
    for n in 1 5 6; do
        scan_json "$c@$n" got.json
        cmp -s "want$n.json" got.json || fail "scan of $c@$n differs from the raw disk's"
        recover_sums "$c@$n" got.sums
        cmp -s "want$n.sums" got.sums || fail "recovery from $c@$n differs: $(diff "want$n.sums" got.sums | head -5)"
    done
done

# A sparse region under a deleted file: a MiB inside "Large archive.dat" (FAT16,
# 3 MiB from cluster 21; 512 of its 2 KiB clusters, aligned to the 64 KiB that
# QCOW2 clusters, VMDK grains and this program's probe use) zeroed, then
# converted; qemu-img stores no clusters or grains for it (its map says so). Those clusters are
# no data of the file: its condition says so, while the raw disk, which stores
# the zeros, calls it Good. The bytes recovered are the same zeros either way,
# from a QCOW2, a monolithic and a split sparse VMDK, and a child VMDK that
# holds nothing over the monolithic one.
cp disk.img zeroed.img
"$sarvik" info disk.img@1 --json >geometry.json
start=$(python3 -c 'import json; g = json.load(open("geometry.json")); s = (2048 + g["clusterBaseSector"] + 21 * g["sectorsPerCluster"]) * 512 + 1048576; print(s + -s % 65536)')
python3 - "$start" <<'PY'
import sys
with open("zeroed.img", "r+b") as f:
    f.seek(int(sys.argv[1])); f.write(bytes(1048576))
PY
qemu-img convert -O qcow2 zeroed.img zeroed.qcow2
qemu-img convert -O vmdk zeroed.img zeroed.vmdk
qemu-img convert -O vmdk -o subformat=twoGbMaxExtentSparse zeroed.img zsplit.vmdk
qemu-img create -q -f vmdk -b zeroed.vmdk -F vmdk zchild.vmdk
for c in zeroed.qcow2 zeroed.vmdk zsplit.vmdk; do
    qemu-img map --output=json "$c" | python3 -c 'import json, sys
s = int(sys.argv[1])
assert any(e["start"] <= s and e["start"] + e["length"] >= s + 1048576 and not e["data"] for e in json.load(sys.stdin))' "$start" ||
        fail "$c stores the zeroed MiB: the case tests nothing"
done
condition() { # SOURCE -> condition and clusters in use of the archive
    "$sarvik" scan "$1" --json | python3 -c 'import json, sys
f = [f for f in json.load(sys.stdin)["files"] if f["path"] == "/Large archive.dat"][0]
print(f["condition"], f["clustersInUse"])'
}
[[ $(condition zeroed.img@1) == "Good 0" ]] || fail "raw zeroed archive: $(condition zeroed.img@1)"
recover_sums zeroed.img@1 want.sums
for c in zeroed.qcow2 zeroed.vmdk zsplit.vmdk zchild.vmdk; do
    [[ $(condition "$c@1") == "Partly overwritten 512" ]] || fail "sparse archive in $c: $(condition "$c@1")"
    recover_sums "$c@1" got.sums
    cmp -s want.sums got.sums || fail "recovery over a sparse region of $c differs: $(diff want.sums got.sums | head -5)"
done

# A differencing VHD over dynamic.bin, holding 64 KiB of the archive written
# over. No Debian tool makes one (qemu-img takes no backing file for vpc or
# vhdx), so it is built here: footer (disk type 4), dynamic header with the
# parent's unique id and name, a relative-path locator, a BAT and one 2 MiB
# block whose sector bitmap marks the sectors it holds. It reads as the
# changed raw disk does, not as its parent.
cp disk.img changed.img
python3 - "$start" <<'PY'
import sys
with open("changed.img", "r+b") as f:
    f.seek(int(sys.argv[1])); f.write(b"\x5a" * 65536)
PY
python3 - dynamic.bin disk.img changed.img diff.vhd <<'PY'
import struct, sys
parent, raw, changed, out = sys.argv[1:5]
pfoot = open(parent, "rb").read()[-512:]
size, block = struct.unpack(">Q", pfoot[48:56])[0], 2 << 20
old, new = open(raw, "rb").read(), open(changed, "rb").read()
at = next(i for i in range(0, len(old), 512) if old[i:i + 512] != new[i:i + 512]) // block * block
def summed(b, at):  # the one's complement of the byte sum, in its field
    return b[:at] + struct.pack(">I", ~sum(b) & 0xFFFFFFFF) + b[at + 4:]
entries = -(-size // block)
bat_at, loc_at = 1536, 1536 + -(-entries * 4 // 512) * 512
foot = summed(b"conectix" + struct.pack(">IIQI", 2, 0x10000, 512, 0) + b"test" + struct.pack(">I", 0x10000) +
              b"Wi2k" + pfoot[40:60] + struct.pack(">I", 4) + bytes(4) + b"\x11" * 16 + bytes(428), 64)
path = (".\\" + parent).encode("utf-16-le")
dyn = summed(b"cxsparse" + struct.pack(">QQIII", 2**64 - 1, bat_at, 0x10000, entries, block) + bytes(4) +
             pfoot[68:84] + bytes(8) + parent.encode("utf-16-be").ljust(512, b"\0") +
             b"W2ru" + struct.pack(">IIIQ", 1, len(path), 0, loc_at) + bytes(7 * 24 + 256), 36)
bat = [0xFFFFFFFF] * entries
bat[at // block] = loc_at // 512 + 1
bitmap = bytearray(512)  # a set bit: the child holds that sector of the block
for s in range(block // 512):
    if old[at + s * 512:at + s * 512 + 512] != new[at + s * 512:at + s * 512 + 512]:
        bitmap[s // 8] |= 0x80 >> s % 8
with open(out, "wb") as f:
    f.write(foot + dyn + struct.pack(">%dI" % entries, *bat).ljust(loc_at - bat_at, b"\0"))
    f.write(path.ljust(512, b"\0") + bitmap + new[at:at + block] + foot)
PY
scan_json changed.img@1 want.json
recover_sums changed.img@1 want.sums
! cmp -s want1.sums want.sums || fail "the changed disk recovers as its parent: the case tests nothing"
scan_json diff.vhd@1 got.json
cmp -s want.json got.json || fail "scan of the differencing VHD differs from the changed disk's"
recover_sums diff.vhd@1 got.sums
cmp -s want.sums got.sums || fail "recovery from the differencing VHD differs: $(diff want.sums got.sums | head -5)"
listing diff.vhd got.lst
cmp -s want.lst got.lst || fail "listing of the differencing VHD differs from the raw disk's: $(diff want.lst got.lst | head -5)"

# A damaged E01 chunk (its checksum fails) is unreadable: the archive's copy
# is incomplete, not passed off as whole with the zeros libewf puts in its place. The chunks are
# stored uncompressed, so the media offset lies a few KiB into the first segment.
mkdir damaged && cp ewf.E0* damaged/
python3 - "$start" <<'PY'
import sys
with open("damaged/ewf.E01", "r+b") as f:
    f.seek(int(sys.argv[1]) + 8192); f.write(b"\xff" * 65536)
PY
rm -rf out && mkdir out
status=0
"$sarvik" recover damaged/ewf.E01@1 --to out --all >/dev/null 2>err.txt || status=$?
[[ $status == 3 ]] || fail "damaged E01: status $status"
grep -q "Large archive.dat: incomplete: [0-9]* unreadable block" err.txt || fail "damaged E01: $(cat err.txt)"

# Cut short: reads past the cut are unreadable sectors, never data. Every file
# either comes back as the raw disk's or the run says it had losses (status 3);
# a container whose library refuses it says what it is.
head -c 12000000 mono.img >cut.vmdk
head -c 12000000 base.qcow2 >cut.qcow2
for c in cut.vmdk cut.qcow2; do
    for n in 1 5 6; do
        recover_sums "$c@$n" got.sums
        if ! cmp -s "want$n.sums" got.sums; then
            grep -qx "status 3" got.sums || fail "$c@$n lost data but says: $(tail -1 got.sums)"
            lost=1
        fi
    done
done
[[ -n ${lost:-} ]] || fail "nothing was lost from the cut containers: the cut test tests nothing"
head -c 20000000 dynamic.bin >cut.vhd # a dynamic VHD keeps its footer at the end
if "$sarvik" scan cut.vhd@1 >/dev/null 2>err.txt; then fail "a VHD without its footer was scanned"; fi
grep -q "Virtual PC disk (VHD) that cannot be read" err.txt || fail "cut VHD: $(cat err.txt)"

# A child disk whose parent is gone says which one it needs.
mv base.qcow2 moved.qcow2
if "$sarvik" scan child.qcow2@1 >/dev/null 2>err.txt; then fail "a QCOW2 without its backing file was scanned"; fi
grep -q "backing file base.qcow2 is not found" err.txt || fail "missing backing file: $(cat err.txt)"
mv mono.img moved.vmdk
if "$sarvik" scan child.vmdk@1 >/dev/null 2>err.txt; then fail "a VMDK without its parent was scanned"; fi
grep -q "parent disk mono.img is not found" err.txt || fail "missing parent: $(cat err.txt)"
mv dynamic.bin moved.bin
status=0
"$sarvik" scan diff.vhd@1 >/dev/null 2>err.txt || status=$?
[[ $status == 1 ]] || fail "a differencing VHD without its parent: status $status"
grep -q "parent disk dynamic.bin is not found beside diff.vhd" err.txt || fail "missing VHD parent: $(cat err.txt)"

# An Ex01 is recognised, and named as what it is rather than as a damaged volume.
printf 'EVF2\r\n\x81\x00' >new.Ex01 && truncate -s 1M new.Ex01
if "$sarvik" scan new.Ex01 >/dev/null 2>err.txt; then fail "an Ex01 was scanned"; fi
grep -q "EnCase 7 image (Ex01), which this build does not read" err.txt || fail "Ex01: $(cat err.txt)"
echo "containers: ok"
