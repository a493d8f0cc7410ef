#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""Checks that the oracle catches a wrong program: runs oracle.py on one test
volume with mutant.py in the program's place, which alters a size, calls a
deleted entry live, moves a time, spoils a copy's SHA-256 and has the deep
scan call a live folder deleted; each must come out as a new divergence, and the
run must fail.
Usage: self_check.py SARVIK VOLUMES_DIR WORK_DIR   (exit 77: volume or TSK missing)"""
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))


def main():
    sarvik, volumes, work = sys.argv[1:4]
    image = os.path.join(volumes, "fat16.img")
    if not os.path.exists(image) or shutil.which("fls") is None:
        print("SKIP: %s or fls missing" % image)
        return 77
    env = dict(os.environ, ORACLE_REAL_SARVIK=sarvik)
    out = subprocess.run([sys.executable, os.path.join(HERE, "oracle.py"), image, "--name", "self-check",
                          "--sarvik", os.path.join(HERE, "mutant.py"), "--work", work],
                         capture_output=True, text=True, env=env, check=False)
    print(out.stdout, out.stderr, sep="")
    kinds = set(re.findall(r"^NEW +self-check \S+ (\S+):", out.stdout, re.M))
    missing = {"size", "deleted-as-live", "mtime", "bytes", "deep-live-as-deleted"} - kinds
    if missing or out.returncode != 1:
        print("FAIL: the oracle missed %s (exit %d)" % (", ".join(sorted(missing)) or "nothing", out.returncode))
        return 1
    print("ok: the oracle caught all five faults of the mutant")
    return 0


if __name__ == "__main__":
    sys.exit(main())
