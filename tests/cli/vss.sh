#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Shadow copies of an NTFS volume, on a disk made on Windows (GPT, NTFS
# partition 2 with one shadow copy in which test.txt has other contents):
# info and drives list the copy with its time; IMG@2@vss1 reads as a volume (also
# inside a QCOW2 container), its test.txt the copy's bytes and not the live
# volume's; a copy that is not there is refused by name; a damaged store is
# named with the reason while the others still read; a damaged catalogue is
# named and the volume reads.
# Usage: vss.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$(realpath "$1") vols=$(realpath -m "$2") src=$(realpath "$3")
tarball=$src/tests/third-party/dfir_ntfs-vss/vss_2_stor.tar.gz
[[ -f $tarball ]] || { echo "skip: $tarball missing"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

tar -xSzf "$tarball"
img=vss_2_stor.raw
if "$sarvik" info "$img@2" | grep -q "built without libvshadow"; then
    echo "skip: this build reads no shadow copies"
    exit 77
fi

# --- info: one copy, with its time, as text and as JSON, of the volume and of the disk
"$sarvik" info "$img@2" >info.txt || fail "info"
grep -q '^Shadow copies       : 1$' info.txt || fail "info does not count 1 shadow copy: $(cat info.txt)"
grep -Eq '^  vss1 +2021-03-10 22:44:00 UTC  vss_2_stor.raw@2@vss1$' info.txt || fail "info's shadow copy line"
"$sarvik" info "$img@2" --json >info.json || fail "info --json"
"$sarvik" info "$img" --json >disk.json || fail "info --json of the disk"
python3 - <<'PY' || fail "info --json"
import json
volume = json.load(open("info.json"))
copies = volume["shadowCopies"]
assert volume["shadowCopiesError"] is None, volume
assert [c["number"] for c in copies] == [1], copies
assert copies[0]["created"] == "2021-03-10T22:44:00.5147567Z", copies
assert copies[0]["source"] == "vss_2_stor.raw@2@vss1" and copies[0]["error"] is None, copies
assert copies[0]["sizeBytes"] == 5333057536, copies
disk = json.load(open("disk.json"))
parts = {p["number"]: p for p in disk["partitions"]}
assert parts[2]["shadowCopies"] == copies, parts[2]
assert "shadowCopies" not in parts[1], parts[1]
PY
"$sarvik" info "$img" >disk.txt || fail "info of the disk"
grep -Eq 'vss1 +2021-03-10 22:44:00 UTC  vss_2_stor.raw@2@vss1$' disk.txt || fail "the disk's listing names no shadow copy"
# drives lists the copy under its volume, as info does; nothing under the other partition
"$sarvik" drives "$img" >drives.txt || fail "drives"
grep -A1 '^vss_2_stor.raw@2 ' drives.txt | grep -Eq '^  vss1 +2021-03-10 22:44:00 UTC  vss_2_stor.raw@2@vss1$' ||
    fail "drives lists no shadow copy under the volume: $(cat drives.txt)"
[[ $(grep -c 'vss1' drives.txt) -eq 1 ]] || fail "drives lists the copy more than once"
"$sarvik" drives "$img" --json >drives.json || fail "drives --json"
python3 - <<'PY' || fail "drives --json"
import json
drives = {d["devicePath"]: d for d in json.load(open("drives.json"))["drives"]}
volume = drives["vss_2_stor.raw@2"]
assert volume["shadowCopiesError"] is None, volume
assert volume["shadowCopies"] == json.load(open("info.json"))["shadowCopies"], volume
assert "shadowCopies" not in drives["vss_2_stor.raw@1"], drives
PY
"$sarvik" info "$img@2@vss1" >copy.txt || fail "info of the shadow copy"
grep -q "File System         : NTFS" copy.txt || fail "the shadow copy is no NTFS volume: $(cat copy.txt)"

# --- reading the copy: its test.txt, not the volume's, byte for byte
live=a8c9f3b3016fac56c78772671b7d3c683995c6efd94e3458b0d02bfa3cbf32d3
copied=e4e7178d9a67cc36d9b12b7b36ebc584c80781ef5619995c138a64c20ae00b4a
"$sarvik" cat --live "$img@2" /test.txt >live.txt || fail "cat of the volume's test.txt"
"$sarvik" cat --live "$img@2@vss1" /test.txt >copy1.txt || fail "cat of the shadow copy's test.txt"
[[ $(sha256sum <live.txt) == "$live  -" ]] || fail "the volume's test.txt"
[[ $(sha256sum <copy1.txt) == "$copied  -" ]] || fail "the shadow copy's test.txt is not the copy's"
# The Sleuth Kit reading the store through libvshadow's own mount, where it may.
if command -v vshadowmount >/dev/null && command -v icat >/dev/null && [[ -w /dev/fuse ]] &&
    mkdir mnt && vshadowmount -o $((67584 * 512)) "$img" mnt >/dev/null 2>&1; then
    inode=$(ifind -n /test.txt mnt/vss1) && icat mnt/vss1 "$inode" >tsk.txt
    fusermount -u mnt 2>/dev/null || umount mnt
    cmp -s tsk.txt copy1.txt || fail "the shadow copy's test.txt differs from icat's"
fi
"$sarvik" recover --live "$img@2@vss1" /test.txt --to out >/dev/null 2>&1 || fail "recover from the shadow copy"
cmp -s out/test.txt copy1.txt || fail "recovered test.txt differs from cat's"
"$sarvik" ls --live "$img@2@vss1" / | grep -q "test.txt" || fail "ls of the shadow copy"

# --- previous versions: the volume's scan with what its copy holds that the
# volume does not: test.txt's older contents, labelled with the copy's time
stamp='(from the shadow copy of 2021-03-10 22:44 UTC)'
"$sarvik" scan "$img@2" >plain.txt 2>/dev/null || fail "scan"
"$sarvik" scan "$img@2" --previous >prev.txt 2>prev.err || fail "scan --previous: $(cat prev.err)"
grep -Fxq "  test.txt                                       703800  2021-03-10 22:45:19  $stamp" prev.txt ||
    fail "scan --previous lists no older test.txt: $(cat prev.txt)"
grep -q '^7 folder(s), 1 deleted file(s) found$' prev.txt || fail "scan --previous adds more: $(tail -1 prev.txt)"
grep -q '^7 folder(s), 0 deleted file(s) found$' plain.txt || fail "the scan without --previous: $(tail -1 plain.txt)"
grep -q "1 previous version(s) added from 1 of 1 shadow copies" prev.err || fail "no count of what was added: $(cat prev.err)"
"$sarvik" scan "$img@2" --previous=all 2>/dev/null | cmp -s - prev.txt || fail "--previous=all differs with one copy"
"$sarvik" scan "$img@2" --previous --live 2>/dev/null | grep -c '^  test\.txt ' | grep -qx 2 ||
    fail "--previous --live does not list both test.txt"
"$sarvik" scan "$img@2" --previous --json >prev.json 2>/dev/null || fail "scan --previous --json"
python3 - <<'PY' || fail "scan --previous --json"
import json
files = json.load(open("prev.json"))["files"]
assert len(files) == 1, files
f = files[0]
assert f["path"] == "/test.txt" and f["size"] == 703800 and f["deleted"] is True, f
assert f["shadowCopy"] == 1 and f["shadowCopyCreated"] == "2021-03-10T22:44:00.5147567Z", f
assert f["condition"] == "Whole in the shadow copy of 2021-03-10 22:44 UTC", f
assert f["clustersInUse"] == 0 and f["clusters"] > 0, f
PY
"$sarvik" ls "$img@2" / --previous --json >prev-ls.json 2>/dev/null || fail "ls --previous --json"
# The documents stay valid under their schemas (where python3-jsonschema is installed).
if python3 -c 'import jsonschema' 2>/dev/null; then
    python3 - "$src/docs/schema" <<'PY' || fail "--previous JSON against its schema"
import json, sys, jsonschema
for doc, schema in [("prev.json", "scan"), ("prev-ls.json", "ls"), ("drives.json", "drives")]:
    jsonschema.validate(json.load(open(doc)), json.load(open(f"{sys.argv[1]}/{schema}.schema.json")))
rows = [r for r in json.load(open("prev-ls.json"))["rows"] if r.get("shadowCopy")]
assert [r["name"] for r in rows] == ["test.txt"] and rows[0]["shadowCopyCreated"].startswith("2021-03-10T22:44"), rows
PY
fi
"$sarvik" ls "$img@2" / --previous 2>/dev/null | grep -Eq '^test\.txt .* 703800 .*Whole in the shadow copy of 2021-03-10 22:44 UTC$' ||
    fail "ls --previous: no condition from the copy"
"$sarvik" recover "$img@2" /test.txt --previous --to prev >/dev/null 2>&1 || fail "recover --previous"
cmp -s prev/test.txt copy1.txt || fail "test.txt recovered with --previous is not the copy's"
if [[ -f tsk.txt ]]; then cmp -s prev/test.txt tsk.txt || fail "test.txt recovered with --previous differs from icat's"; fi
"$sarvik" cat "$img@2" /test.txt --previous 2>/dev/null | cmp -s - copy1.txt || fail "cat --previous"
status=0
"$sarvik" scan "$img@2" --previous=some >/dev/null 2>err.txt || status=$?
[[ $status -eq 2 ]] && grep -q "give --previous or --previous=all" err.txt || fail "--previous=some: status $status"

# --- the stores hold old copies of MFT clusters: --deep offers none of their
# records as deleted files (the volume has none)
"$sarvik" scan "$img@2" --deep --no-carve >deep.txt 2>/dev/null || fail "scan --deep"
grep -q '^7 folder(s), 0 deleted file(s) found$' deep.txt || fail "scan --deep offers files: $(tail -5 deep.txt)"

# --- through a container: the volume read by its library, the copy over it
if command -v qemu-img >/dev/null && "$sarvik" info "$img" | grep -q "QEMU disk"; then
    qemu-img convert -O qcow2 "$img" disk.qcow2
    "$sarvik" info disk.qcow2@2 | grep -Eq '^  vss1 +2021-03-10 22:44:00 UTC  disk.qcow2@2@vss1$' ||
        fail "info of the QCOW2's volume lists no shadow copy"
    "$sarvik" cat --live disk.qcow2@2@vss1 /test.txt | cmp -s - copy1.txt || fail "the QCOW2's shadow copy's test.txt"
    rm disk.qcow2
fi

# --- copies that are not there, by name
refused() { # SOURCE MESSAGE
    local status=0
    "$sarvik" info "$1" >/dev/null 2>err.txt || status=$?
    [[ $status -eq 1 ]] || fail "$1: status $status, not 1"
    grep -qF "$2" err.txt || fail "$1: no '$2' in: $(cat err.txt)"
}
refused "$img@2@vss2" "no shadow copy 2; the volume has 1 (vss1)"
refused "$img@2@vss0" "shadow copies are numbered from 1 ('vss0' is not such a number)"
refused "$img@1@vss1" "the volume has no shadow copies"
refused "$img@3@vss1" "no partition 3"
refused "$img@vss1" "shadow copies are named by its NTFS partitions ($img@N@vss1)"
# A volume of our own, made by mkntfs, has none.
if [[ -f $vols/ntfs.img ]]; then
    "$sarvik" info "$vols/ntfs.img" | grep -q '^Shadow copies       : none$' || fail "ntfs.img: no 'Shadow copies : none'"
    refused "$vols/ntfs.img@vss1" "the volume has no shadow copies"
    # --previous adds nothing there, and says so without failing.
    "$sarvik" scan "$vols/ntfs.img" >none.txt 2>/dev/null || fail "scan of ntfs.img"
    "$sarvik" scan "$vols/ntfs.img" --previous >none-prev.txt 2>err.txt || fail "scan --previous of ntfs.img: $(cat err.txt)"
    cmp -s none.txt none-prev.txt || fail "--previous on a volume without shadow copies changed the listing"
    grep -q "has no shadow copies; nothing added" err.txt || fail "--previous without copies: $(cat err.txt)"
fi

# --- a damaged store: an older store added to the catalogue, its block list
# then overwritten; the newer copy still reads whole
cp --sparse=always "$img" two.raw
python3 - two.raw <<'PY'
import struct, sys
# The catalogue still holds the information entry of an older store that no
# descriptor names: a descriptor for it, an hour older, goes before the
# volume's own, each followed by its store's information entry.
base = 67584 * 512
with open(sys.argv[1], "r+b") as f:
    f.seek(base + 0x1E00)
    catalog = struct.unpack_from("<Q", f.read(128), 0x30)[0]
    f.seek(base + catalog)
    block = bytearray(f.read(16384))
    entry = [bytes(block[i * 128:(i + 1) * 128]) for i in range(6)]
    assert entry[1][0] == 2 and entry[3][0] == 3, "unexpected catalogue"
    older = bytearray(entry[1])
    older[16:32] = entry[3][16:32]
    struct.pack_into("<Q", older, 48, struct.unpack_from("<Q", older, 48)[0] - 36000000000)
    for slot, e in enumerate([bytes(older), entry[3], entry[1], entry[2], entry[4]], start=1):
        block[slot * 128:(slot + 1) * 128] = e
    f.seek(base + catalog)
    f.write(block)
    # Its store block list, found 8 bytes into its information entry.
    f.seek(base + struct.unpack_from("<Q", entry[3], 8)[0])
    f.write(b"X" * 16)
PY
"$sarvik" info two.raw@2 >two.txt || fail "info with a damaged store"
grep -q '^Shadow copies       : 2$' two.txt || fail "info does not count 2: $(cat two.txt)"
grep -Eq '^  vss1 +2021-03-10 21:44:00 UTC  cannot be read: .*store block list' two.txt ||
    fail "the damaged store is not named with its reason: $(cat two.txt)"
grep -Eq '^  vss2 +2021-03-10 22:44:00 UTC  two.raw@2@vss2$' two.txt || fail "the good store is not listed"
refused two.raw@2@vss1 "shadow copy 1 cannot be read"
"$sarvik" cat --live two.raw@2@vss2 /test.txt >copy2.txt || fail "cat of the good store"
[[ $(sha256sum <copy2.txt) == "$copied  -" ]] || fail "the good store's test.txt"
# --previous names the damaged store, reads the good one, and says the
# listing is not whole.
status=0
"$sarvik" scan two.raw@2 --previous >two-prev.txt 2>err.txt || status=$?
[[ $status -eq 3 ]] || fail "--previous with a damaged store: status $status, not 3"
grep -q "shadow copy 1 (2021-03-10 21:44 UTC) cannot be read: .*store block list" err.txt ||
    fail "--previous does not name the damaged store: $(cat err.txt)"
grep -Fq "  test.txt                                       703800  2021-03-10 22:45:19  $stamp" two-prev.txt ||
    fail "--previous with a damaged store lists no test.txt from the good one"
status=0
"$sarvik" recover two.raw@2 /test.txt --previous --to two >/dev/null 2>&1 || status=$?
[[ $status -eq 3 ]] || fail "recover --previous with a damaged store: status $status, not 3"
cmp -s two/test.txt copy1.txt || fail "test.txt from the good store"

# --- a damaged catalogue: named, and the volume itself still reads
catalog=$(python3 -c "import struct;f=open('$img','rb');f.seek(67584*512+0x1e30);print(struct.unpack('<Q',f.read(8))[0])")
printf 'XXXXXXXXXXXXXXXX' | dd of="$img" bs=1 seek=$((67584 * 512 + catalog)) conv=notrunc status=none
"$sarvik" info "$img@2" >bad.txt || fail "info with a damaged catalogue"
grep -q '^Shadow copies       : cannot be read: .*catalog' bad.txt || fail "the damaged catalogue: $(cat bad.txt)"
refused "$img@2@vss1" "its shadow copies cannot be read"
# --previous names the catalogue too, lists the volume as it is, and says it is not whole.
status=0
"$sarvik" scan "$img@2" --previous >bad-prev.txt 2>err.txt || status=$?
[[ $status -eq 3 ]] || fail "--previous with a damaged catalogue: status $status, not 3"
grep -q "its shadow copies cannot be read: .*catalog" err.txt || fail "--previous with a damaged catalogue: $(cat err.txt)"
cmp -s bad-prev.txt plain.txt || fail "--previous with a damaged catalogue changed the listing"
"$sarvik" cat --live "$img@2" /test.txt | cmp -s - live.txt || fail "the volume no longer reads"
echo "vss: all checks passed"
