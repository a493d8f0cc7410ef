#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks `sarvik scan --json` on the FAT test volumes against their manifests.

From each manifest this works out, independently of the program, which folders
and deleted files the classic scan rules must find: entries in the first
cluster of a folder that was itself found, names of ASCII only, deleted files
with a first cluster, a short name's first letter replaced by 'x' when no long
name was written, everything below a deleted folder marked deleted. Then it
compares both ways: nothing missing, nothing extra, same sizes, first clusters
and parents.
Usage: fat_scan_manifest.py SARVIK VOLUMES_DIR"""
import csv
import json
import os
import re
import subprocess
import sys

SHORT_CHARS = re.compile(r"^[A-Za-z0-9!#$%&'()@^_`{}~-]+$")


def needs_long_name(name):
    """mtools writes no long-name entry for a valid 8.3 name whose base and
    extension are each all upper or all lower case."""
    base, dot, ext = name.partition(".")
    if "." in ext or not base or len(base) > 8 or len(ext) > 3:
        return True
    for part in (base, ext):
        if part and not SHORT_CHARS.match(part):
            return True
        if part != part.upper() and part != part.lower():
            return True
    return False


def scanned_name(name):
    """The name the default rules give a deleted entry (None: never found)."""
    if any(ord(c) >= 128 for c in name):
        return None  # long name with bytes >= 128 or control bytes; short name mangled
    if needs_long_name(name):
        return name
    return "x" + name.upper()[1:]


def live_name(name):
    if any(ord(c) >= 128 for c in name):
        return None
    return name if needs_long_name(name) else name.upper()


def expected(manifest):
    rows = list(csv.DictReader(open(manifest, encoding="utf-8"), delimiter="\t"))
    dirs = {r["path"]: r for r in rows if r["type"] == "dir"}
    found_dirs = {}  # manifest path -> (scan path, deleted)

    def resolve_dir(path):
        if path == "":
            return ("", False)
        if path in found_dirs:
            return found_dirs[path]
        r = dirs[path]
        parent = resolve_dir(os.path.dirname(path))
        result = None
        if parent is not None and "beyond_first_cluster" not in r["notes"] \
                and "entry_overwritten" not in r["notes"]:
            own_deleted = r["state"] == "deleted"
            name = scanned_name(os.path.basename(path)) if own_deleted else live_name(os.path.basename(path))
            if name is not None:
                result = (parent[0] + "/" + name, parent[1] or own_deleted)
        found_dirs[path] = result
        return result

    folders = {}
    for p, r in dirs.items():
        got = resolve_dir(p)
        if got is not None:
            folders[got[0]] = (int(r["first_cluster"]), got[1])
    files = {}
    for r in rows:
        if r["type"] != "file" or r["state"] != "deleted" or r["first_cluster"] in ("0", "-"):
            continue
        if "beyond_first_cluster" in r["notes"] or "entry_overwritten" in r["notes"]:
            continue
        parent = resolve_dir(os.path.dirname(r["path"]))
        name = scanned_name(os.path.basename(r["path"]))
        if parent is None or name is None:
            continue
        files[(parent[0] + "/" + name, int(r["first_cluster"]))] = int(r["size"])
    return folders, files


def main():
    sarvik, volumes = sys.argv[1], sys.argv[2]
    images = [n for n in ("fat16", "fat16-s1", "fat32", "fat32-s1", "demo-fat32")
              if os.path.exists(os.path.join(volumes, n + ".img"))]
    if not images:
        print("no FAT test volumes; run tools/make-test-volumes.sh")
        return 77
    failures = 0
    for name in images:
        img = os.path.join(volumes, name + ".img")
        want_folders, want_files = expected(os.path.join(volumes, name + ".manifest.tsv"))
        out = subprocess.run([sarvik, "scan", img, "--classic", "--json"], capture_output=True, check=True)
        doc = json.loads(out.stdout.decode("utf-8"))
        got_folders = {f["path"]: (f["firstCluster"], f["deleted"]) for f in doc["folders"]}
        got_files = {(f["path"], f["firstCluster"]): f["size"] for f in doc["files"]}
        # A long name whose entries straddle a sector boundary is read only from
        # the short entry's own sector: the scan then keeps the first 13 * m
        # characters. Pair such files by size and first cluster.
        split = 0
        for p in sorted(set(want_files) - set(got_files)):
            for q in sorted(set(got_files) - set(want_files)):
                base_p, base_q = os.path.dirname(p[0]), os.path.dirname(q[0])
                np, nq = os.path.basename(p[0]), os.path.basename(q[0])
                if base_p == base_q and p[1] == q[1] and got_files[q] == want_files[p] and needs_long_name(np) \
                        and len(nq) % 13 == 0 and np.startswith(nq):
                    want_files[q] = want_files.pop(p)
                    split += 1
                    break
        problems = []
        for label, want, got in (("folder", want_folders, got_folders), ("file", want_files, got_files)):
            for p in sorted(set(want) - set(got)):
                problems.append(f"missing {label} {p} {want[p]}")
            for p in sorted(set(got) - set(want)):
                problems.append(f"extra {label} {p} {got[p]}")
            for p in sorted(set(want) & set(got)):
                if want[p] != got[p]:
                    problems.append(f"{label} {p}: want {want[p]}, got {got[p]}")
        # Parent keys agree with the folders' first clusters.
        by_path = {f["path"]: f for f in doc["folders"]}
        for f in doc["files"]:
            parent = os.path.dirname(f["path"])
            key = 0 if parent == "/" else by_path.get(parent, {}).get("firstCluster")
            if f["parentCluster"] != key:
                problems.append(f"file {f['path']}: parentCluster {f['parentCluster']} != {key}")
        if doc["volume"]["fileCount"] != len(doc["files"]):
            problems.append("fileCount differs from the files listed")
        status = "ok" if not problems else "FAIL"
        print(f"{status} {name}: {len(got_folders)} folders, {len(got_files)} deleted files"
              f" ({split} long names cut at a sector boundary)")
        for p in problems:
            print("   ", p)
        failures += bool(problems)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
