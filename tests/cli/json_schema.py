# SPDX-License-Identifier: GPL-3.0-or-later
"""Every JSON document the command line writes, checked against its schema in
docs/schema/: drives, info (volume, snapshot, whole disk), scan (thorough,
classic, --deep, --live, from a snapshot), ls, find, volumes and each line of
a recovery report, on FAT12, FAT16, FAT32, exFAT and NTFS volumes and on disks
made from them. Each document's first member must be "schemaVersion". The
schemas must be strict: a member renamed, or a value of another type, in any
object of a document written here must fail validation; and every member a
schema names must appear in some document, so that a member the program stops
writing is noticed too.

Usage: json_schema.py SARVIK VOLUMES_DIR SOURCE_DIR WORK_DIR
"""

import copy
import json
import os
import resource
import shutil
import subprocess
import sys

from jsonschema import Draft202012Validator
from jsonschema.exceptions import best_match

sarvik, vols, source_dir, work = sys.argv[1:5]
os.chdir(work)
failures = []
schemas = {}
for name in sorted(os.listdir(os.path.join(source_dir, "docs", "schema"))):
    with open(os.path.join(source_dir, "docs", "schema", name), encoding="utf-8") as f:
        schema = json.load(f)
    Draft202012Validator.check_schema(schema)
    schemas[name.removesuffix(".schema.json")] = Draft202012Validator(schema)
seen = {kind: set() for kind in schemas}  # member names met, per document kind
seen_shapes = {kind: set() for kind in schemas}  # sets of member names of the objects met
checked = []  # every document checked
samples = {kind: [] for kind in schemas}  # documents of new shapes, for the strictness checks


def shapes_in(value, out):
    """Adds the set of member names of every object in `value` to `out`."""
    if isinstance(value, dict):
        out.add(frozenset(value))
        for v in value.values():
            shapes_in(v, out)
    elif isinstance(value, list):
        for v in value:
            shapes_in(v, out)


def check(kind, text, what):
    """Validates one document (JSON text) as `kind`."""
    try:
        pairs = json.loads(text, object_pairs_hook=lambda p: p)
        doc = json.loads(text)
    except ValueError as e:
        failures.append(f"{what}: not JSON: {e}")
        return
    if not pairs or pairs[0] != ("schemaVersion", 1):
        failures.append(f"{what}: the first member is {pairs[0] if pairs else None}, not schemaVersion 1")
    errors = sorted(schemas[kind].iter_errors(doc), key=lambda e: list(e.absolute_path))
    for e in errors[:5]:
        e = best_match([e])
        failures.append(f"{what} ({kind}): at {'/'.join(map(str, e.absolute_path))}: {e.message[:300]}")
    shapes = set()
    shapes_in(doc, shapes)
    if not shapes <= seen_shapes[kind]:
        samples[kind].append((what, doc))  # a document with objects of a shape not met before
    seen_shapes[kind] |= shapes
    seen[kind].update(*shapes)
    checked.append(kind)


def sarvik_run(args, kind=None, codes=(0,)):
    """Runs sarvik ARGS; its standard output is a document of `kind`, if one."""
    out = subprocess.run([sarvik, *args], capture_output=True, text=True)
    what = "sarvik " + " ".join(args)
    if out.returncode not in codes:
        failures.append(f"{what}: exit {out.returncode}: {out.stderr.strip()[:300]}")
        return
    if kind:
        check(kind, out.stdout, what)


def report(args, codes=(0, 3), ulimit_kib=None):
    """Runs sarvik recover ARGS --report and checks every line of the report."""
    for leftover in ("out", "report.jsonl"):
        subprocess.run(["rm", "-rf", leftover], check=True)
    command = [sarvik, "recover", *args, "--to", "out", "--report", "report.jsonl"]
    def limit():
        if ulimit_kib is not None:
            resource.setrlimit(resource.RLIMIT_FSIZE, (ulimit_kib * 1024, ulimit_kib * 1024))

    out = subprocess.run(command, capture_output=True, text=True, preexec_fn=limit)
    what = "sarvik recover " + " ".join(args)
    if out.returncode not in codes:
        failures.append(f"{what}: exit {out.returncode}: {out.stderr.strip()[:300]}")
    outcomes = set()
    with open("report.jsonl", encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            check("report-line", line, f"{what}: line {n}")
            outcomes.add(json.loads(line).get("outcome"))
    return outcomes


def volume(name):
    return os.path.join(vols, name + ".img")


# drives: this machine's, and the partitions of images.
sarvik_run(["drives", "--json"], "drives")

# Volumes of every kind: info, scans, listings, searches.
for name in ["fat12", "fat12-floppy", "fat16", "fat32", "exfat", "exfat-times", "ntfs", "ntfs-4k", "card-fat32", "card-exfat"]:
    img = volume(name)
    sarvik_run(["info", img, "--json"], "info")
    sarvik_run(["scan", img, "--json"], "scan", (0, 3))
    sarvik_run(["ls", img, "/", "--json"], "ls", (0, 3))
    sarvik_run(["find", img, "*", "--json"], "find", (0, 3))
    sarvik_run(["volumes", img, "--json"], "volumes")
# ls of folders that hold deleted files with a condition (carved ones with
# --deep), found through scan.
for name, extra in [("fat32", []), ("ntfs", []), ("exfat", []), ("card-fat32", ["--deep"]), ("ntfs-extents", ["--deep"])]:
    out = subprocess.run([sarvik, "scan", volume(name), *extra, "--json"], capture_output=True, text=True)
    folders = {os.path.dirname(f["path"]) for f in json.loads(out.stdout)["files"]
               if f["path"] and "condition" in f}
    for folder in sorted(folders)[-3:]:
        sarvik_run(["ls", volume(name), folder, *extra, "--json"], "ls", (0, 3))
sarvik_run(["scan", volume("fat32"), "--classic", "--json"], "scan", (0, 3))
sarvik_run(["scan", volume("fat16"), "--live", "--json"], "scan", (0, 3))
# A moved folder's deleted entry names where the folder went.
if os.path.exists(volume("fat-moved")):
    sarvik_run(["scan", volume("fat-moved"), "--json"], "scan", (0,))
sarvik_run(["ls", volume("ntfs"), "/", "--live", "--json"], "ls", (0, 3))
for name in ["card-fat32", "card-exfat", "ntfs-extents"]:
    sarvik_run(["scan", volume(name), "--deep", "--json"], "scan", (0, 3))
    sarvik_run(["ls", volume(name), "/", "--deep", "--json"], "ls", (0, 3))
    sarvik_run(["find", volume(name), "f*", "--deep", "--json"], "find", (0, 3))
# Something that is no volume: info still writes its document.
with open("zeros.img", "wb") as f:
    f.truncate(4 << 20)
sarvik_run(["info", "zeros.img", "--json"], "info", (1,))

# Snapshots of a thorough and a classic scan as SOURCE.
for rules, snap in [("--thorough", "T.RVU"), ("--classic", "C.RVU")]:
    sarvik_run(["scan", volume("fat32"), rules, "--snapshot", snap], None, (0, 3))
    sarvik_run(["info", snap, "--json"], "info")
    sarvik_run(["scan", snap, "--json"], "scan", (0, 3))
    sarvik_run(["ls", snap, "/", "--json"], "ls", (0, 3))
    sarvik_run(["find", snap, "*.*", "--json"], "find", (0, 3))
sarvik_run(["scan", volume("ntfs"), "--snapshot", "N.RVU"], None, (0, 3))
sarvik_run(["info", "N.RVU", "--json"], "info")

# Whole disks: an MBR disk with primary and logical partitions, a GPT disk,
# the GPT disk read from its backup header, the MBR disk with its table wiped
# (lost volumes), and an NTFS volume found by its backup boot sector.
sectors = {"fat16": 65536, "fat32-s1": 131072, "ntfs": 131072}


def place(disk, name, start):
    subprocess.run(["dd", f"if={volume(name)}", f"of={disk}", "bs=512", f"seek={start}", "conv=notrunc,sparse",
                    "status=none"], check=True)


def wipe(disk, start, count):
    subprocess.run(["dd", "if=/dev/zero", f"of={disk}", "bs=512", f"seek={start}", f"count={count}", "conv=notrunc",
                    "status=none"], check=True)


with open("mbr.img", "wb") as f:
    f.truncate(336000 * 512)
subprocess.run(["sfdisk", "-q", "mbr.img"], check=True, text=True,
               input="label: dos\nstart=2048, size=65536, type=6\nstart=69632, size=266240, type=5\n"
                     "start=71680, size=131072, type=c\nstart=204800, size=131072, type=7\n")
place("mbr.img", "fat16", 2048)
place("mbr.img", "fat32-s1", 71680)
place("mbr.img", "ntfs", 204800)
with open("gpt.img", "wb") as f:
    f.truncate(270000 * 512)
subprocess.run(["sgdisk", "-o", "-n", "1:2048:+131072", "-t", "1:0700", "-n", "2:133120:+131072", "-t", "2:0700",
                "gpt.img"], check=True, capture_output=True)
place("gpt.img", "fat32-s1", 2048)
place("gpt.img", "ntfs", 133120)
sarvik_run(["drives", "mbr.img", "gpt.img", "--json"], "drives")
for disk in ["mbr.img", "gpt.img"]:
    sarvik_run(["info", disk, "--json"], "partitions")
    sarvik_run(["info", disk + "@1", "--json"], "info")
sarvik_run(["scan", "mbr.img@5", "--json"], "scan", (0, 3))
subprocess.run(["cp", "gpt.img", "backup-gpt.img"], check=True)
wipe("backup-gpt.img", 0, 2)
sarvik_run(["info", "backup-gpt.img", "--json"], "partitions")
subprocess.run(["cp", "mbr.img", "lost.img"], check=True)
wipe("lost.img", 0, 1)
sarvik_run(["volumes", "lost.img", "--json"], "volumes")
wipe("lost.img", 204800, 1)
sarvik_run(["volumes", "lost.img", "--deep", "--json"], "volumes")
sarvik_run(["info", "lost.img@lost3", "--json"], "info", (0, 3))
have_qemu = shutil.which("qemu-img") is not None
if have_qemu:
    subprocess.run(["qemu-img", "convert", "-f", "raw", "-O", "vpc", volume("fat16"), "fat16.vhd"], check=True)
    sarvik_run(["info", "fat16.vhd", "--json"], "info")
    subprocess.run(["qemu-img", "convert", "-f", "raw", "-O", "qcow2", "mbr.img", "mbr.qcow2"], check=True)
    sarvik_run(["info", "mbr.qcow2", "--json"], "partitions")
# A Windows-made disk whose NTFS volume has a shadow copy: listed with the
# volume and with its partition, where this build reads shadow copies.
vss_tarball = os.path.join(source_dir, "tests", "third-party", "dfir_ntfs-vss", "vss_2_stor.tar.gz")
vss_read = False
if os.path.exists(vss_tarball):
    subprocess.run(["tar", "-xSzf", vss_tarball], check=True)
    probe = subprocess.run([sarvik, "info", "vss_2_stor.raw@2"], capture_output=True, text=True)
    if "built without libvshadow" not in probe.stdout:
        sarvik_run(["info", "vss_2_stor.raw", "--json"], "partitions")
        sarvik_run(["info", "vss_2_stor.raw@2", "--json"], "info")
        sarvik_run(["info", "vss_2_stor.raw@2@vss1", "--json"], "info")
        # Its previous versions, and the drive list with its shadow copies.
        vss_read = True
        sarvik_run(["scan", "vss_2_stor.raw@2", "--previous", "--json"], "scan")
        sarvik_run(["ls", "vss_2_stor.raw@2", "/", "--previous", "--json"], "ls")
        sarvik_run(["find", "vss_2_stor.raw@2", "*", "--previous", "--json"], "find")
        sarvik_run(["drives", "vss_2_stor.raw", "--json"], "drives")
    os.remove("vss_2_stor.raw")

# Recovery reports: every file written; one failed by a file-size limit;
# incomplete files of an image cut short; skipped ones (names that exist,
# names filtered out); an NTFS volume (recordNumber) and a FAT one (firstCluster).
outcomes = report([volume("fat32"), "--all"], ulimit_kib=100)
outcomes |= report(["--classic", volume("fat16"), "--all"])
with open(volume("ntfs"), "rb") as f, open("cut-ntfs.img", "wb") as cut:
    cut.write(f.read(12 << 20))
outcomes |= report(["cut-ntfs.img", "--all"])
outcomes |= report([volume("exfat"), "--all", "--filter", "*.txt"])
outcomes |= report(["T.RVU", "--all"])
for want in ["written", "failed", "incomplete", "skipped"]:
    if want not in outcomes:
        failures.append(f"no report line says '{want}' (outcomes met: {sorted(outcomes)})")

# Strictness: in the documents above, a member renamed or given a value of
# another type, in any object, fails validation.
def mutations(doc):
    """(description, mutated copy) for every member of every object of `doc`,
    arrays cut to one element of each shape (set of member names)."""
    def cut(value):
        if isinstance(value, dict):
            return {k: cut(v) for k, v in value.items()}
        if isinstance(value, list):
            shapes, kept = set(), []
            for v in value:
                shape = frozenset(v) if isinstance(v, dict) else type(v).__name__
                if shape not in shapes:
                    shapes.add(shape)
                    kept.append(cut(v))
            return kept
        return value

    base = cut(doc)

    def walk(value, path):
        if isinstance(value, dict):
            for k in value:
                yield path + [k]
                yield from walk(value[k], path + [k])
        elif isinstance(value, list):
            for i, v in enumerate(value):
                yield from walk(v, path + [i])

    for path in walk(base, []):
        parent_path, key = path[:-1], path[-1]
        if isinstance(key, int):
            continue
        for how in ("renamed", "retyped"):
            changed = copy.deepcopy(base)
            parent = changed
            for step in parent_path:
                parent = parent[step]
            if how == "renamed":
                parent[key[0].upper() + key[1:]] = parent.pop(key)
            else:
                parent[key] = 0 if isinstance(parent[key], dict) else {}
            yield f"{'/'.join(map(str, path))} {how}", changed


for kind, docs in samples.items():
    for what, doc in docs:
        for change, mutated in mutations(doc):
            if schemas[kind].is_valid(mutated):
                failures.append(f"{kind}: {what}: the schema takes the document with {change}")

# Coverage: every member a schema names appears in some document.
def declared(node, out):
    if isinstance(node, dict):
        out.update(node.get("properties", {}))
        for v in node.values():
            declared(v, out)
    elif isinstance(node, list):
        for v in node:
            declared(v, out)


# Members the runs above cannot bring about: a name the destination refuses
# (a Windows file system), a FAT cluster in use or inferred (made by the
# thorough-scan volumes' own test) and a container without a tool to make it.
unreachable = {"nameRefused", "clusterInUse", "clusterHighInferred"}
if not vss_read:  # previous versions come from shadow copies only
    unreachable |= {"shadowCopy", "shadowCopyCreated"}
for kind, validator in schemas.items():
    names = set()
    declared(validator.schema, names)
    missing = names - seen[kind] - unreachable - (set() if have_qemu else {"container"})
    if missing:
        failures.append(f"{kind}: no document written here has {sorted(missing)}")

for line in failures:
    print("FAIL:", line)
print(f"{'FAILED' if failures else 'ok'}: {len(checked)} documents checked, kinds {sorted(set(checked))}")
sys.exit(1 if failures else 0)
