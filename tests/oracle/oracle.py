#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The program's deleted files against The Sleuth Kit's, entry by entry.

For one volume this compares what `sarvik scan --live --json` / `--bodyfile`
and `sarvik recover --all --report` give with `fls -r -p -m /`, `istat` and
`icat -r` (with -o for a partition), matched by entry number: on FAT and exFAT
the address of the 32-byte entry (fls's inode, the program's entryAddress), on
NTFS the MFT record number (a named stream as RECORD:STREAM). For every
deleted entry either tool lists it compares presence, deleted or live, path,
size, the four times to the second (the body files of both), on NTFS the
creation and modification times to 100 ns (istat's standard information
against the JSON's FILETIMEs), and the SHA-256 of the copy against icat -r;
for live entries presence and deleted or live. What only `scan --deep` finds
(fls's $OrphanFiles: entries in clusters no folder reaches) is compared with
the deep scan, by address, its path left out (fls names those by their short
name under $OrphanFiles). The deep scan must also list no entry as deleted
that fls knows as live under the same name. On a volume of thousands of
deleted files the bytes (and NTFS 100 ns times) of 1 entry in k are read, so
that about --max-entries are; the summary line says so.

Each difference is a divergence, printed as
    NEW   IMAGE ENTRY KIND: DETAIL      (not listed: the run fails)
    known IMAGE ENTRY KIND: DETAIL [block]   (listed in known-divergences.txt)
known-divergences.txt (beside this script) explains each listed one; blocks of
class "pending" are program faults being mended: delete the block once the
run says it matched nothing.

By hand, on any image (IMAGE.gz and a .tar.gz holding one image are unpacked
into --work first):
    python3 tests/oracle/oracle.py IMAGE [--offset SECTORS] [--name NAME]
An image listed in images.txt (beside this script), or all of them:
    python3 tests/oracle/oracle.py --listed fat16 [--listed ...]
    python3 tests/oracle/oracle.py --all
Check that every volume in build/test-volumes is listed in images.txt:
    python3 tests/oracle/oracle.py --check-listed
Options: --sarvik PATH (build/bin/sarvik), --volumes DIR (build/test-volumes),
--work DIR (build/oracle), --known FILE, --no-deep, --no-bytes, --quiet
(only NEW lines and the summary), --lines N (at most N lines of each kind of
divergence, then a count; 0: all), --jobs N (TSK processes at once).
Exit status: 0 no divergence outside the list, 1 some, 2 usage, 77 skipped
(the image or The Sleuth Kit is missing: said on stdout).
"""

import argparse
import concurrent.futures
import datetime
import fnmatch
import gzip
import hashlib
import json
import os
import re
import shutil
import struct
import subprocess
import sys
import tarfile
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
SKIP = 77
TIME_KINDS = ("mtime", "atime", "ctime", "crtime")


# --------------------------------------------------------------------------
# Images


class Image:
    def __init__(self, name, source, offset=0):
        self.name = name
        self.source = source  # volumes:FILE, third-party:PATH[:MEMBER] or a path
        self.offset = offset


def read_image_list(path):
    images = []
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            parts = line.split()
            if any(i.name == parts[0] for i in images):
                raise ValueError("%s: %s is named twice" % (path, parts[0]))
            images.append(Image(parts[0], parts[1], int(parts[2]) if len(parts) > 2 else 0))
    return images


def copy_sparse(src, dst):
    """Writes the stream src to the file dst, leaving runs of zeros as holes."""
    block = 1 << 16
    zero = bytes(block)
    with open(dst + ".part", "wb") as out:
        while True:
            data = src.read(block)
            if not data:
                break
            if data == zero[:len(data)]:
                out.seek(len(data), os.SEEK_CUR)
            else:
                out.write(data)
        out.truncate()
    os.replace(dst + ".part", dst)


def unpacked(path, member, work):
    """The raw image of path (IMAGE.gz, or a .tar.gz and its member), unpacked
    once into work; a raw image is used where it lies."""
    if not path.endswith(".gz"):
        return path
    os.makedirs(work, exist_ok=True)
    if path.endswith(".tar.gz") or path.endswith(".tgz"):
        out = os.path.join(work, os.path.basename(member))
        if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(path):
            # tar -S keeps a sparse member sparse (a 5 GiB disk of 12 MiB)
            subprocess.run(["tar", "-xSzf", path, "-C", work, member], check=True)
            os.utime(out)
        return out
    out = os.path.join(work, os.path.basename(path)[:-3])
    if not os.path.exists(out) or os.path.getmtime(out) < os.path.getmtime(path):
        with gzip.open(path, "rb") as src:
            copy_sparse(src, out)
    return out


def resolve(image, volumes, work):
    """(raw image path, None) or (None, why it is missing)."""
    src = image.source
    member = None
    if src.startswith("volumes:"):
        path = os.path.join(volumes, src[len("volumes:"):])
    elif src.startswith("third-party:"):
        rest = src[len("third-party:"):]
        if ":" in rest:
            rest, member = rest.split(":", 1)
        path = os.path.join(ROOT, "tests", "third-party", rest)
    else:
        path = src
    if not os.path.exists(path):
        return None, "%s is missing" % path
    return unpacked(path, member, work), None


# --------------------------------------------------------------------------
# Times


def fmt_time(sec, ns=0):
    if sec is None:
        return "none"
    if sec == 0 and ns == 0:
        return "0"
    t = datetime.datetime(1970, 1, 1) + datetime.timedelta(seconds=sec)
    s = t.strftime("%Y-%m-%d %H:%M:%S")
    if ns:
        s += (".%09d" % ns).rstrip("0")
    return s


TSK_TIME = re.compile(r"(\d{4})-(\d\d)-(\d\d) (\d\d):(\d\d):(\d\d)(?:\.(\d+))? \((\w+)\)")


def parse_tsk_time(text):
    """istat's time as (seconds since 1970, nanoseconds); (0, 0) when none."""
    m = TSK_TIME.search(text)
    if not m:
        return None
    y, mo, d, h, mi, s = (int(x) for x in m.groups()[:6])
    if y == 0:
        return (0, 0)
    frac = m.group(7) or ""
    ns = int((frac + "000000000")[:9]) if frac else 0
    t = datetime.datetime(y, mo, d, h, mi, s) - datetime.datetime(1970, 1, 1)
    return (t.days * 86400 + t.seconds, ns)


def filetime_to_unix(ft):
    if not ft:
        return (0, 0)
    ticks = ft - 116444736000000000
    return (ticks // 10000000, (ticks % 10000000) * 100)


# --------------------------------------------------------------------------
# The Sleuth Kit


class TskEntry:
    def __init__(self, key, inode, path, kind, deleted, realloc, size):
        self.key = key
        self.inode = inode
        self.path = path
        self.kind = kind  # "d" folder, "r" file, "-" unknown (a deleted NTFS name)
        self.deleted = deleted
        self.realloc = realloc
        self.size = size
        self.times = None  # fls -m's, {"mtime": (s, 0), ...}
        self.fn_times = None  # NTFS: the file name attribute's, from fls -m
        self.exact = None  # NTFS: istat's standard information times, (s, ns)
        self.fn_exact = None  # and the file name attribute's
        self.sha = None
        self.length = None


def split_stream(path):
    """(path, stream) for an NTFS path whose last name holds ':'."""
    head, _, last = path.rpartition("/")
    if ":" in last:
        name, stream = last.split(":", 1)
        return head + "/" + name, stream
    return path, ""


def entry_key(ntfs, inode, path):
    number = inode.split("-", 1)[0]
    if not ntfs:
        return number
    _, stream = split_stream(path)
    return number + (":" + stream if stream else "")


def tsk_cmd(tool, image, offset, *args):
    cmd = [tool]
    if offset:
        cmd += ["-o", str(offset)]
    return cmd + list(args) + [image]


def run_fls(image, offset, ntfs):
    out = subprocess.run(tsk_cmd("fls", image, offset, "-r", "-p", "-m", "/"), capture_output=True,
                         env=dict(os.environ, TZ="UTC"))
    if out.returncode != 0:
        raise RuntimeError("fls failed: " + out.stderr.decode(errors="replace").strip())
    entries = {}
    fn_times = {}
    for raw in out.stdout.decode("utf-8", errors="replace").splitlines():
        fields = raw.split("|")
        if len(fields) < 11:
            continue
        tail = fields[-9:]
        name = "|".join(fields[1:-9])
        inode, mode, size = tail[0], tail[1], tail[4]
        kind = mode[:1]
        if kind in ("v", "V"):
            continue
        if kind == "-":  # a deleted NTFS name's own type is gone; its record's is after the slash
            kind = mode[2:3] if mode[2:3] in ("d", "r") else "-"
        deleted = realloc = False
        stamps = dict(zip(("atime", "mtime", "ctime", "crtime"), ((int(x), 0) for x in tail[5:9])))
        if name.endswith(" (deleted-realloc)"):
            name, deleted, realloc = name[:-len(" (deleted-realloc)")], True, True
        elif name.endswith(" (deleted)"):
            name, deleted = name[:-len(" (deleted)")], True
        if name.endswith(" ($FILE_NAME)"):
            fn_times.setdefault(inode.split("-", 1)[0], stamps)
            continue
        if name.endswith("(Volume Label Entry)"):
            continue  # fls lists the label as a file; it holds no data and the program no entry
        if name in ("/.", "/..") or name.endswith("/.") or name.endswith("/.."):
            continue
        key = entry_key(ntfs, inode, name)
        t = TskEntry(key, inode, name, kind, deleted, realloc, int(size))
        t.times = stamps
        entries.setdefault(key, []).append(t)
    for ts in entries.values():
        for t in ts:
            t.fn_times = fn_times.get(t.inode.split("-", 1)[0])
    return entries


def parse_istat(text, ntfs):
    """({"mtime": (s, ns), ...} of the standard information or the directory
    entry, the file name attribute's on NTFS or None)."""
    names = {"Written": "mtime", "File Modified": "mtime", "Accessed": "atime", "Created": "crtime",
             "MFT Modified": "ctime", "Changed": "ctime"}
    sections = {}
    current = None
    for line in text.splitlines():
        if line.startswith("$STANDARD_INFORMATION Attribute Values"):
            current = sections.setdefault("si", {})
        elif line.startswith("$FILE_NAME Attribute Values"):
            current = None if "fn" in sections else sections.setdefault("fn", {})
        elif line.startswith("Directory Entry Times") or line.startswith("File Times"):
            current = sections.setdefault("si", {})
        elif line.startswith("Attributes:") or line.startswith("Sectors:"):
            current = None
        elif current is not None and ":" in line:
            label, _, value = line.partition(":")
            kind = names.get(label.strip())
            if kind and kind not in current:
                t = parse_tsk_time(value)
                if t is not None:
                    current[kind] = t
    return sections.get("si", {}), sections.get("fn")


def istat(image, offset, inode, ntfs):
    out = subprocess.run(tsk_cmd("istat", image, offset) + [inode.split("-", 1)[0]], capture_output=True,
                         env=dict(os.environ, TZ="UTC"))
    return parse_istat(out.stdout.decode("utf-8", errors="replace"), ntfs)


def icat_sha(image, offset, inode):
    """[SHA-256, length] of what icat -r writes."""
    h = hashlib.sha256()
    n = 0
    with subprocess.Popen(tsk_cmd("icat", image, offset, "-r") + [inode], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL) as p:
        while True:
            data = p.stdout.read(1 << 20)
            if not data:
                break
            h.update(data)
            n += len(data)
    return [h.hexdigest(), n]


def partitions(image):
    """The first sectors of the partitions mmls finds (in 512-byte sectors)."""
    out = subprocess.run(["mmls", image], capture_output=True)
    text = out.stdout.decode("utf-8", errors="replace")
    unit = re.search(r"Units are in (\d+)-byte sectors", text)
    scale = int(unit.group(1)) // 512 if unit else 1
    starts = []
    for line in text.splitlines():
        m = re.match(r"\d+:\s+(\d+):?\S*\s+(\d+)\s+(\d+)\s+(\d+)\s", line)
        if m:  # a partition's slot is a number; Meta and ------- rows are not
            starts.append(int(m.group(2)) * scale)
    return starts


def fs_type(image, offset):
    out = subprocess.run(tsk_cmd("fsstat", image, offset), capture_output=True)
    for line in out.stdout.decode("utf-8", errors="replace").splitlines():
        if line.startswith("File System Type:"):
            return line.split(":", 1)[1].strip().lower()
    return None


# --------------------------------------------------------------------------
# The program


class ProgEntry:
    def __init__(self, key, path, kind, deleted, size, doc):
        self.key = key
        self.path = path
        self.kind = kind
        self.deleted = deleted
        self.size = size
        self.doc = doc
        self.times = {}  # the body file's, in seconds
        self.exact = {}  # NTFS: the JSON's FILETIMEs as (s, ns)
        self.sha = None
        self.outcome = None
        self.deep = False  # found by --deep only
        self.length = None  # of the copy


def sarvik_cmd(sarvik, command, image, offset, *args):
    cmd = [sarvik, command, image]
    if offset:
        cmd += ["--offset", str(offset)]
    return cmd + list(args)


def run_scan(sarvik, image, offset, ntfs, extra=("--live",)):
    """The program's entries (with --live: the live ones too) by key."""
    env = dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8")
    out = subprocess.run(sarvik_cmd(sarvik, "scan", image, offset, "--json", *extra), capture_output=True, env=env)
    if out.returncode not in (0, 3):
        raise RuntimeError("sarvik scan failed (exit %d): %s" %
                           (out.returncode, out.stderr.decode(errors="replace").strip()))
    try:
        doc = json.loads(out.stdout)
    except ValueError as e:
        raise RuntimeError("sarvik scan wrote no JSON document (%s)" % e) from None
    entries = {}
    unnumbered = []
    for kind, items in (("d", doc.get("folders", [])), ("r", doc.get("files", []))):
        for e in items:
            number = e.get("recordNumber") if ntfs else e.get("entryAddress")
            path = e.get("path")
            if not number or path is None:
                unnumbered.append(e)
                continue
            key = entry_key(ntfs, str(number), path)
            p = ProgEntry(key, path, kind, bool(e.get("deleted")), e.get("size"), e)
            if ntfs:
                for field, name in (("createdTime", "crtime"), ("modifiedTime", "mtime")):
                    if e.get(field) is not None:
                        p.exact[name] = filetime_to_unix(e[field])
            entries.setdefault(key, []).append(p)
    body = subprocess.run(sarvik_cmd(sarvik, "scan", image, offset, "--bodyfile", *extra),
                          capture_output=True, env=env)
    for raw in body.stdout.decode("utf-8", errors="replace").splitlines():
        fields = raw.split("|")
        if len(fields) < 11:
            continue
        tail = fields[-9:]
        name = "|".join(fields[1:-9])
        if name.endswith(" (deleted)"):
            name = name[:-len(" (deleted)")]
        key = entry_key(ntfs, tail[0], name)
        for p in entries.get(key, []):
            if p.path == name and not p.times:
                p.times = dict(zip(("atime", "mtime", "ctime", "crtime"), (int(x) for x in tail[5:9])))
                break
    warnings = out.stderr.decode("utf-8", errors="replace").splitlines()
    return entries, unnumbered, warnings


def run_recover(sarvik, image, offset, work, files, extra=(), ids=None):
    """Fills the sha and outcome of the program's deleted files from one
    recover --all --report (or --id for each of ids); a path that names two
    entries is read by cat --id."""
    out_dir = tempfile.mkdtemp(prefix="recover.", dir=work)
    report = os.path.join(work, "report.jsonl")
    if os.path.exists(report):
        os.remove(report)
    try:
        which = ["--all"] + ([] if ids is None else [a for n in ids for a in ("--id", n)])
        subprocess.run(sarvik_cmd(sarvik, "recover", image, offset, *which, "--to", out_dir, "--report", report,
                                  *extra), capture_output=True, env=dict(os.environ, TZ="UTC", LC_ALL="C.UTF-8"))
        by_path = {}
        if os.path.exists(report):
            with open(report, encoding="utf-8") as f:
                for line in f:
                    r = json.loads(line)
                    by_path.setdefault(r["source"], []).append(r)
    finally:
        shutil.rmtree(out_dir, ignore_errors=True)
    path_count = {}
    for p in files:
        path_count[p.path] = path_count.get(p.path, 0) + 1
    for p in files:
        lines = by_path.get(p.path, [])
        if path_count[p.path] == 1 and len(lines) == 1:
            p.sha, p.outcome = lines[0].get("sha256"), lines[0].get("outcome")
            p.length = lines[0].get("bytesWritten")
        elif lines and ":" not in p.key:
            number = p.key
            data = subprocess.run(sarvik_cmd(sarvik, "cat", image, offset, "--id", number, *extra),
                                  capture_output=True)
            p.sha = hashlib.sha256(data.stdout).hexdigest()
            p.length = len(data.stdout)
            p.outcome = "written" if data.returncode == 0 else "exit %d" % data.returncode
        else:
            p.outcome = "not in the report"


# --------------------------------------------------------------------------
# Known divergences


class Block:
    def __init__(self, name):
        self.name = name
        self.cls = ""
        self.fix = ""
        self.reason = []
        self.matches = []  # (image glob, entry glob, kind glob, detail regex or None)
        self.used = 0


def read_known(path):
    blocks = []
    block = None
    last = None
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            text = line.rstrip("\n")
            if not text.strip() or text.lstrip().startswith("#"):
                continue
            if text.startswith("["):
                block = Block(text.strip().strip("[]"))
                blocks.append(block)
                last = None
                continue
            if block is None:
                raise ValueError("%s:%d: a line before the first [block]" % (path, n))
            if text[0] in " \t" and last == "reason":
                block.reason.append(text.strip())
                continue
            field, _, value = text.partition(":")
            field, value = field.strip(), value.strip()
            last = field
            if field == "class":
                block.cls = value
            elif field == "fix":
                block.fix = value
            elif field == "reason":
                block.reason.append(value)
            elif field == "match":
                parts = value.split(None, 3)
                if len(parts) < 3:
                    raise ValueError("%s:%d: match: IMAGE ENTRY KIND [DETAIL-REGEX]" % (path, n))
                try:
                    rx = re.compile(parts[3]) if len(parts) > 3 else None
                except re.error as e:
                    raise ValueError("%s:%d: %s" % (path, n, e)) from None
                block.matches.append((parts[0], parts[1], parts[2], rx))
            else:
                raise ValueError("%s:%d: unknown field %r" % (path, n, field))
    for b in blocks:
        if b.cls not in ("pending", "tsk", "convention"):
            raise ValueError("%s: [%s] class must be pending, tsk or convention" % (path, b.name))
        if not b.reason or not b.matches:
            raise ValueError("%s: [%s] needs a reason and a match" % (path, b.name))
    return blocks


def known_block(blocks, image, entry, kind, detail):
    for b in blocks:
        for ig, eg, kg, rx in b.matches:
            if fnmatch.fnmatchcase(image, ig) and fnmatch.fnmatchcase(entry, eg) and \
                    fnmatch.fnmatchcase(kind, kg) and (rx is None or rx.search(detail)):
                b.used += 1
                return b
    return None


# --------------------------------------------------------------------------
# The comparison


class Divergence:
    def __init__(self, entry, kind, detail):
        self.entry = entry
        self.kind = kind
        self.detail = detail


def best(tsk_list, path=None):
    """The fls name to compare with: the one of the same path, else a deleted one."""
    for t in tsk_list:
        if t.path == path:
            return t
    for t in tsk_list:
        if t.deleted and not t.realloc:
            return t
    return tsk_list[0]


def compare_times(ctx, p, t, out):
    if t.times is None or not p.times:
        return
    ctx.counts["times"] += 1
    for kind in TIME_KINDS:
        theirs = t.times.get(kind)
        mine = p.times.get(kind) if p.times else None
        if theirs is None or mine is None:
            continue
        if mine != theirs[0]:
            note = ""
            raw = ctx.fat_entry(p.key)
            if raw is not None and kind == "crtime":
                note = "; creation 10 ms count %d" % raw[20 if ctx.exfat else 13]
            elif raw is not None and kind == "mtime" and ctx.exfat:
                note = "; modification 10 ms count %d" % raw[21]
            if raw is not None and ctx.exfat and kind in ("crtime", "mtime", "atime"):
                zone = raw[{"crtime": 22, "mtime": 23, "atime": 24}[kind]]
                minutes = ((zone & 0x7F) - (0x80 if zone & 0x40 else 0)) * 15 if zone & 0x80 else 0
                note += ", UTC offset byte 0x%02x" % zone
                count = raw[20] if kind == "crtime" else raw[21] if kind == "mtime" else 0
                if minutes and mine - theirs[0] == -minutes * 60:
                    note += " (%+d min): the difference is that offset" % minutes
                elif minutes and count == 100 and mine - theirs[0] == -minutes * 60 + 1:
                    note += " (%+d min): the difference is that offset and the count's whole second" % minutes
            if t.fn_times and t.fn_times.get(kind, (None,))[0] == mine:
                note = "; program has the file name attribute's"
            out.append(Divergence(p.key, kind, "program %s, tsk %s (%+ds%s) [%s]" % (
                fmt_time(mine), fmt_time(*theirs), mine - theirs[0], note, p.path)))
    for kind, mine in p.exact.items():
        theirs = (t.exact or {}).get(kind)
        if theirs is None or mine == theirs:
            continue
        if p.times and p.times.get(kind) != theirs[0]:
            continue  # the seconds differ already
        delta = (mine[0] - theirs[0]) * 1000000000 + mine[1] - theirs[1]
        note = "; program has the file name attribute's" if t.fn_exact and t.fn_exact.get(kind) == mine else ""
        out.append(Divergence(p.key, kind + "-fraction", "program %s, tsk %s (%+.7fs%s) [%s]" % (
            fmt_time(*mine), fmt_time(*theirs), delta / 1e9, note, p.path)))


def sort_key(key):
    return (int(key.split(":")[0]), key)


def compare(ctx, tsk, prog, deep_prog):
    out = []
    keys = sorted(set(tsk) | set(prog), key=sort_key)
    for key in keys:
        ts = tsk.get(key, [])
        ps = prog.get(key, [])
        t_del = [t for t in ts if t.deleted]
        p_del = [p for p in ps if p.deleted]
        if not ps:
            if t_del:
                t = best(t_del)
                out.append(Divergence(key, "only-tsk", "fls: %s %s%s%s%s" % (
                    t.kind, t.path, " (realloc)" if t.realloc else "",
                    "" if deep_prog is None else "; --deep does not list it either", ctx.exfat_set(key))))
            elif ts and ts[0].kind in ("d", "r") and not ctx.ntfs_system(ts[0]):
                said = [w for w in ctx.warnings if " %s " % ts[0].path in w]
                out.append(Divergence(key, "live-missing", "fls: live %s %s%s" % (
                    ts[0].kind, ts[0].path, "; the program warns: " + said[0].split(": ", 1)[-1] if said else "")))
            continue
        if t_del and not p_del and any(not t.deleted for t in ts):
            # a deleted name beside the live one of the same entry: on NTFS a
            # name left in a folder's index whose record now holds another file
            for t in t_del:
                out.append(Divergence(key, "only-tsk", "fls: %s %s%s; the entry is live: %s" % (
                    t.kind, t.path, " (realloc)" if t.realloc else "", ps[0].path)))
        for p in ps:
            if not ts:
                if p.deleted:
                    out.append(Divergence(key, "only-program", "program: deleted %s %s%s" % (
                        p.kind, p.path, ctx.folder_chain(p.doc.get("parentCluster")))))
                continue
            same = [t for t in ts if t.deleted == p.deleted]
            if p.deleted and not same:
                raw = ctx.fat_entry(key)
                out.append(Divergence(key, "live-as-deleted", "program: deleted %s %s; fls: live %s%s%s%s" % (
                    p.kind, p.path, ts[0].path, "; entry's first byte 0x%02x" % raw[0] if raw else "",
                    ctx.record_state(ts[0]), ctx.maker_state(p.path))))
                continue
            if not p.deleted and not same:
                raw = ctx.fat_entry(key)
                out.append(Divergence(key, "deleted-as-live", "program: live %s %s; fls: deleted %s%s%s%s" % (
                    p.kind, p.path, ts[0].path, " (realloc)" if ts[0].realloc else "",
                    "; entry's first byte 0x%02x" % raw[0] if raw else "",
                    ctx.folder_chain(p.doc.get("parentCluster")))))
                continue
            t = best(same, p.path)
            if t.path.startswith("/$OrphanFiles/"):
                # fls puts what it cannot place under $OrphanFiles, by its
                # short name; the program under the folder it found ($Lost
                # folder N): the entry's address ties them, the path is not compared
                ctx.counts["orphans"] += 1
            elif p.deep:
                # fls reached it from the root, the quick scan did not
                out.append(Divergence(key, "deep-only", "fls: %s; only --deep lists it, as %s" % (t.path, p.path)))
            elif t.path != p.path:
                out.append(Divergence(key, "path", "program %s%s, tsk %s" % (
                    p.path, " (--deep)" if p.deep else "", t.path)))
            if not p.deleted:
                continue
            if p.kind == "r" and t.kind == "d" or p.kind == "d" and t.kind == "r":
                out.append(Divergence(key, "type", "program %s, tsk %s [%s]" % (p.kind, t.kind, p.path)))
                continue
            if p.kind == "r" and p.size is not None and p.size != t.size:
                out.append(Divergence(key, "size", "program %d, tsk %d [%s]" % (p.size, t.size, p.path)))
            compare_times(ctx, p, t, out)
            if p.kind == "r" and ctx.bytes and t.sha is not None:
                ctx.counts["copies"] += 1
            if p.kind == "r" and ctx.bytes and t.sha is not None and p.sha != t.sha:
                out.append(Divergence(key, "bytes", "program %s (%s bytes, %s), icat -r %s (%d bytes)%s [%s]" % (
                    (p.sha or "none")[:16], p.length, p.outcome, t.sha[:16], t.length,
                    ctx.manifest_says(p, t), p.path)))
    if deep_prog is not None:
        for key in sorted(deep_prog, key=sort_key):
            ps = deep_prog[key]
            live = [t for t in tsk.get(key, []) if not t.deleted]
            for p in ps:
                if p.deleted and any(t.path.rsplit("/", 1)[-1] == p.path.rsplit("/", 1)[-1] for t in live):
                    if any(q.deleted for q in prog.get(key, [])):
                        continue  # the quick scan's live-as-deleted says it already
                    out.append(Divergence(key, "deep-live-as-deleted", "--deep: deleted %s %s; fls: live %s" % (
                        p.kind, p.path, live[0].path)))
    return out


class Context:
    def __init__(self, image, offset, kind, want_bytes):
        self.ntfs = kind.startswith("ntfs")
        self.bytes = want_bytes
        self.image = image
        self.offset = offset
        self.written = {}
        self.states = {}
        self.counts = {"times": 0, "copies": 0, "orphans": 0}
        self.base = None  # FAT: the byte where fls's entry 3 lies
        self.fat = None  # FAT12/16/32: (bits, the first FAT's byte)
        self.warnings = []  # what the program's scan said on stderr
        self.exfat = kind.startswith("exfat")
        with open(image, "rb") as f:
            f.seek(offset * 512)
            boot = f.read(512)
        if self.exfat:
            # entry 3 is the first of the cluster heap
            self.base = offset * 512 + (struct.unpack_from("<I", boot, 88)[0] << boot[108])
        elif kind.startswith("fat"):
            bps, _, reserved, fats = struct.unpack_from("<HBHB", boot, 11)
            fat_sectors = struct.unpack_from("<H", boot, 22)[0] or struct.unpack_from("<I", boot, 36)[0]
            # the data area (the FAT12/16 root folder, else cluster 2) follows the FATs
            self.base = offset * 512 + (reserved + fats * fat_sectors) * bps
            self.fat = ({"fat12": 12, "fat16": 16}.get(kind, 32), offset * 512 + reserved * bps)

    def read_manifest(self, path):
        """The SHA-256 of each file the maker wrote, by path and (NTFS) by record."""
        self.written = {}
        self.states = {}
        if not os.path.exists(path):
            return
        with open(path, encoding="utf-8") as f:
            for line in f:
                cols = line.rstrip("\n").split("\t")
                if len(cols) > 4 and cols[4] in ("live", "deleted"):
                    self.states["/" + cols[0]] = cols[4]
                if len(cols) < 4 or cols[1] != "file" or len(cols[3]) != 64:
                    continue
                self.written["/" + cols[0]] = cols[3]
                for note in (cols[8].split() if len(cols) > 8 else []):
                    if note.startswith("mft="):
                        self.written["#" + note[4:]] = cols[3]

    def record_state(self, t):
        """NTFS: whether istat calls the MFT record in use."""
        if not self.ntfs:
            return ""
        out = subprocess.run(tsk_cmd("istat", self.image, self.offset) + [t.inode.split("-", 1)[0]],
                             capture_output=True)
        text = out.stdout.decode("utf-8", errors="replace")
        if "Not Allocated File" in text:
            return "; istat: record not in use"
        return "; istat: record in use" if "Allocated File" in text else ""

    def maker_state(self, path):
        state = self.states.get(path)
        return "; the maker left it %s" % state if state else ""

    def manifest_says(self, p, t):
        sha = self.written.get("#" + p.key) or self.written.get(p.path) or self.written.get(t.path)
        if not sha:
            return ""
        whose = [who for who, h in (("the program's", p.sha), ("icat's", t.sha)) if h == sha]
        return "; the maker wrote %s" % (" and ".join(whose) if whose else "neither")

    def exfat_set(self, key):
        """What the bytes at exFAT entry key hold, for a divergence's detail."""
        if not self.exfat:
            return ""
        with open(self.image, "rb") as f:
            f.seek(self.base + (int(key) - 3) * 32)
            data = f.read(32 * 19)
        if len(data) < 64:
            return ""
        count = data[1]
        checked = data[:32 * (count + 1)]
        total = 0
        for i, b in enumerate(checked):
            if i % 32 == 0:
                b |= 0x80  # the sum is of the set in use
            if i not in (2, 3):
                total = ((total << 15) | (total >> 1)) & 0xFFFF
                total = (total + b) & 0xFFFF
        stored = struct.unpack_from("<H", data, 2)[0]
        return "; bytes: entry type 0x%02x, %d secondaries, next entry type 0x%02x, set checksum %s" % (
            data[0], count, data[32], "good" if stored == total and len(checked) == 32 * (count + 1) else
            "bad (0x%04x stored, 0x%04x computed)" % (stored, total))

    def folder_chain(self, cluster):
        """FAT: what the allocation table holds for a folder's first cluster."""
        if self.fat is None or not cluster or cluster < 2:
            return ""
        bits, first = self.fat
        with open(self.image, "rb") as f:
            f.seek(first + cluster * bits // 8)
            raw = f.read(4)
        if len(raw) < 4:
            return ""
        value = int.from_bytes(raw, "little")
        if bits == 12:
            value = (value >> 4 if cluster & 1 else value) & 0xFFF
        else:
            value &= (1 << bits) - 1 if bits == 16 else 0x0FFFFFFF
        return "; its folder's first cluster %d is %s" % (
            cluster, "free in the FAT" if value == 0 else "in use in the FAT (next %d)" % value)

    def fat_entry(self, key):
        """The 32 bytes of FAT entry key (fls's address), or None."""
        if self.base is None:
            return None
        with open(self.image, "rb") as f:
            f.seek(self.base + (int(key) - 3) * 32)
            data = f.read(32)
        return data if len(data) == 32 else None

    def ntfs_system(self, t):
        if not self.ntfs:
            return False
        number = int(t.key.split(":")[0])
        return number < 24 or t.path.startswith("/$Extend/") or t.path.startswith("/$OrphanFiles")


def check_image(args, name, image, offset, blocks):
    """The divergences of one image: (list of (Divergence, Block or None), note)."""
    kind = fs_type(image, offset)
    if kind is None:
        return None, "The Sleuth Kit reads no file system there"
    ntfs = kind.startswith("ntfs")
    ctx = Context(image, offset, kind, not args.no_bytes)
    ctx.read_manifest(re.sub(r"\.img$", "", image) + ".manifest.tsv")
    work = tempfile.mkdtemp(prefix="oracle.", dir=args.work)
    try:
        tsk = run_fls(image, offset, ntfs)
        prog, _, ctx.warnings = run_scan(args.sarvik, image, offset, ntfs)
        deep = None
        if not args.no_deep:
            # as a user runs it: without --live, so that whatever it calls deleted is listed
            deep, _, _ = run_scan(args.sarvik, image, offset, ntfs, ("--deep", "--no-carve"))
        # istat (NTFS: times to the 100 ns) and icat for each deleted entry,
        # or for every k-th of them on a volume of thousands
        wanted = sorted((k for k, ts in tsk.items() if any(t.deleted for t in ts)), key=sort_key)
        step = max(1, -(-len(wanted) // args.max_entries)) if args.max_entries > 0 else 1
        ctx.sampled = (len(wanted[::step]), len(wanted), step)
        jobs = []
        with concurrent.futures.ThreadPoolExecutor(max_workers=args.jobs) as pool:
            for key in wanted[::step]:
                for t in tsk.get(key, []):
                    if not t.deleted:
                        continue
                    if ntfs:
                        jobs.append((t, pool.submit(istat, image, offset, t.inode, ntfs)))
                    if ctx.bytes and t.kind != "d" and t.size <= args.max_file_size:
                        jobs.append((t, pool.submit(icat_sha, image, offset, t.inode)))
            if deep is not None:
                # what only --deep finds (fls's orphans, mostly) is compared with that
                for key, ds in deep.items():
                    if key not in prog and any(t.deleted for t in tsk.get(key, [])):
                        prog[key] = [d for d in ds if d.deleted]
                        for d in prog[key]:
                            d.deep = True
                        if not prog[key]:
                            del prog[key]
            if ctx.bytes:
                files = [p for ps in prog.values() for p in ps if p.deleted and p.kind == "r"]
                ids = None
                if step > 1:  # only those of the sample
                    chosen = set(k.split(":")[0] for k in wanted[::step])
                    files = [p for p in files if p.key.split(":")[0] in chosen]
                    ids = sorted(chosen, key=int)
                run_recover(args.sarvik, image, offset, work, [p for p in files if not p.deep], (), ids)
                if any(p.deep for p in files):
                    run_recover(args.sarvik, image, offset, work, [p for p in files if p.deep],
                                ("--deep", "--no-carve"), ids)
            for t, fut in jobs:
                r = fut.result()
                if isinstance(r, tuple):
                    t.exact, t.fn_exact = r
                else:
                    t.sha, t.length = r
        divergences = compare(ctx, tsk, prog, deep)
        both = [k for k, ps in prog.items() if any(p.deleted for p in ps) and any(t.deleted for t in tsk.get(k, []))]
        if both and ctx.counts["times"] == 0:
            # the program's body file no longer gives what this reads
            divergences.append(Divergence("-", "nothing-compared", "%d deleted entries on both sides, "
                                          "no times compared: has `scan --bodyfile` changed?" % len(both)))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    result = []
    for d in divergences:
        result.append((d, known_block(blocks, name, d.entry, d.kind, d.detail)))
    n_tsk = sum(1 for ts in tsk.values() if any(t.deleted for t in ts))
    n_prog = sum(1 for ps in prog.values() if any(p.deleted for p in ps))
    n_deep = sum(1 for ps in prog.values() if any(p.deep for p in ps))
    note = ("%s: fls %d deleted, program %d deleted (%d of them by --deep, %d of fls's orphans); "
            "times of %d, bytes of %d compared%s") % (
        kind, n_tsk, n_prog, n_deep, ctx.counts["orphans"], ctx.counts["times"], ctx.counts["copies"],
        "" if ctx.sampled[2] == 1 else " (bytes%s of 1 deleted entry in %d: %d of %d)" % (
            " and 100 ns times" if ntfs else "", ctx.sampled[2], ctx.sampled[0], ctx.sampled[1]))
    return result, note


def summary(entries, most=12):
    """Entry numbers as a short text: 837 838 ... (400 in all)."""
    text = " ".join(entries[:most])
    return text + (" ... %s (%d in all)" % (entries[-1], len(entries)) if len(entries) > most else "")


def run_one(args, name, image, offset, blocks):
    """Prints one image's report; returns 0, 1 or SKIP."""
    print("== %s (%s%s)" % (name, image, ", offset %d" % offset if offset else ""), flush=True)
    try:
        result, note = check_image(args, name, image, offset, blocks)
    except (RuntimeError, ValueError, OSError) as e:
        # the program (or fls) could not read what fsstat reads: a divergence of its own
        d = Divergence("-", "failed", str(e))
        result, note = [(d, known_block(blocks, name, d.entry, d.kind, d.detail))], "no comparison"
    if result is None:
        print("SKIP %s: %s" % (name, note))
        return SKIP
    new = sum(1 for _, b in result if b is None)
    shown = {}  # lines printed of each kind and block; the rest are counted
    held = {}
    for d, b in result:
        if b is not None and args.quiet:
            continue
        group = (d.kind, b.name if b else None)
        shown[group] = shown.get(group, 0) + 1
        if shown[group] > args.lines > 0:
            held.setdefault(group, []).append(d.entry)
        elif b is None:
            print("NEW   %s %s %s: %s" % (name, d.entry, d.kind, d.detail))
        else:
            tag = b.cls + (":" + b.fix if b.fix else "")
            print("known %s %s %s: %s [%s, %s]" % (name, d.entry, d.kind, d.detail, b.name, tag))
    for (kind, block), entries in held.items():
        print("%s %s: %d more %s divergences%s, entries %s (--lines 0 prints them all)" % (
            "NEW  " if block is None else "known", name, len(entries), kind,
            " [%s]" % block if block else "", summary(entries)))
    print("%s %s: %s; %d divergences, %d known, %d new" % (
        "FAIL" if new else "ok  ", name, note, len(result), len(result) - new, new), flush=True)
    return 1 if new else 0


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("image", nargs="?")
    ap.add_argument("--offset", type=int, default=0, help="the volume's first sector (512 bytes)")
    ap.add_argument("--name", help="the image's name in known-divergences.txt (default: its file name)")
    ap.add_argument("--listed", action="append", default=[], help="an image named in images.txt")
    ap.add_argument("--all", action="store_true", help="every image in images.txt")
    ap.add_argument("--check-listed", action="store_true", help="every test volume is in images.txt")
    ap.add_argument("--sarvik", default=os.path.join(ROOT, "build", "bin", "sarvik"))
    ap.add_argument("--volumes", default=os.path.join(ROOT, "build", "test-volumes"))
    ap.add_argument("--work", default=os.path.join(ROOT, "build", "oracle"))
    ap.add_argument("--known", default=os.path.join(HERE, "known-divergences.txt"))
    ap.add_argument("--images", default=os.path.join(HERE, "images.txt"))
    ap.add_argument("--no-deep", action="store_true", help="leave out the --deep check")
    ap.add_argument("--no-bytes", action="store_true", help="leave out the copies' bytes")
    ap.add_argument("--quiet", action="store_true", help="print only new divergences and the summary")
    ap.add_argument("--lines", type=int, default=10,
                    help="print at most N lines of each kind of divergence of an image (0: all)")
    ap.add_argument("--jobs", type=int, default=4, help="TSK processes at once")
    ap.add_argument("--max-file-size", type=int, default=256 << 20,
                    help="compare the bytes of files of at most N bytes (256 MiB)")
    ap.add_argument("--max-entries", type=int, default=250,
                    help="read the bytes of at most about N deleted entries of an image, every k-th (0: all)")
    args = ap.parse_args()

    listed = read_image_list(args.images)
    if args.check_listed:
        return check_listed(args, listed)
    for tool in ("fls", "istat", "icat", "fsstat"):
        if shutil.which(tool) is None:
            print("SKIP: %s not installed (Debian package sleuthkit)" % tool)
            return SKIP
    if not os.access(args.sarvik, os.X_OK):
        print("SKIP: no program at %s (build it, or name it with --sarvik)" % args.sarvik)
        return SKIP
    os.makedirs(args.work, exist_ok=True)
    args.work = os.path.abspath(args.work)
    blocks = read_known(args.known)

    todo = []
    if args.image:
        path = os.path.abspath(args.image)
        name = args.name or re.sub(r"(\.tar)?\.gz$", "", os.path.basename(path))
        found = []
        if args.offset == 0 and os.path.exists(path) and not path.endswith(".gz") and fs_type(path, 0) is None:
            # a whole disk: each partition that holds a file system
            found = [o for o in partitions(path) if fs_type(path, o) is not None]
            for o in found:
                print("%s: a file system at sector %d" % (name, o))
        if found:
            todo += [Image("%s@%d" % (name, o), path, o) for o in found]
        else:
            todo.append(Image(name, path, args.offset))
    by_name = {i.name: i for i in listed}
    for n in args.listed:
        if n not in by_name:
            ap.error("%s is not in %s" % (n, args.images))
        todo.append(by_name[n])
    if args.all:
        todo += listed
    if not todo:
        ap.error("name an IMAGE, --listed NAME or --all")

    status = []
    for img in todo:
        if img.source.endswith(".tar.gz") and os.path.isabs(img.source):
            print("SKIP %s: name the image inside the .tar.gz" % img.name)
            status.append(SKIP)
            continue
        raw, why = resolve(img, args.volumes, os.path.join(args.work, "images"))
        if raw is None:
            print("SKIP %s: %s" % (img.name, why))
            status.append(SKIP)
            continue
        status.append(run_one(args, img.name, raw, img.offset, blocks))
    if len(todo) > 1 or args.all:
        unused = [b for b in blocks if b.used == 0]
        if args.all and unused:
            for b in unused:
                print("unused known divergence [%s] (%s): nothing matched it%s" % (
                    b.name, b.cls, "; delete it if its fix is in" if b.cls == "pending" else
                    " (no image here shows it today)"))
        print("oracle: %d images, %d failed, %d skipped" % (
            len(status), status.count(1), status.count(SKIP)))
    if 1 in status:
        return 1
    if status and all(s == SKIP for s in status):
        return SKIP
    return 0


def check_listed(args, listed):
    if not os.path.isdir(args.volumes):
        print("SKIP: no test volumes in %s" % args.volumes)
        return SKIP
    named = set(i.source[len("volumes:"):] for i in listed if i.source.startswith("volumes:"))
    ignored = set()
    with open(args.images, encoding="utf-8") as f:
        for line in f:
            m = re.match(r"#\s*not compared:\s*(\S+)", line)
            if m:
                ignored.add(m.group(1))
    missing = sorted(f for f in os.listdir(args.volumes)
                     if f.endswith(".img") and f not in named and f not in ignored)
    for f in missing:
        print("NEW   %s is not in %s (add it, or a '# not compared: %s' line with the reason)" % (
            f, args.images, f))
    print("%d test volumes in %s, %d of them neither compared nor named as not compared in %s" % (
        len([f for f in os.listdir(args.volumes) if f.endswith(".img")]), args.volumes, len(missing), args.images))
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
