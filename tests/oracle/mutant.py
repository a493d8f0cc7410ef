#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""A wrong program for self_check.py: runs the real one (ORACLE_REAL_SARVIK)
and alters its answers in five ways the oracle must each catch: one deleted
file's size, one deleted entry called live, one deleted file's modification
time in the body file, the SHA-256 of one copy in recover's report, and (with
--deep) one live folder called deleted."""
import json
import os
import subprocess
import sys

REAL = os.environ["ORACLE_REAL_SARVIK"]


def main():
    args = sys.argv[1:]
    if args[:1] == ["scan"] and "--json" in args:
        out = subprocess.run([REAL] + args, capture_output=True, check=False)
        doc = json.loads(out.stdout)
        if "--deep" in args:
            live = [f for f in doc["folders"] if not f.get("deleted") and f.get("entryAddress")]
            live[0]["deleted"] = True
        else:
            files = [f for f in doc["files"] if f.get("deleted") and f.get("size")]
            files[0]["size"] += 1
            files[1]["deleted"] = False
        json.dump(doc, sys.stdout)
        return out.returncode
    if args[:1] == ["scan"] and "--bodyfile" in args:
        out = subprocess.run([REAL] + args, capture_output=True, check=False)
        lines = out.stdout.decode("utf-8", "surrogateescape").splitlines()
        for i, line in enumerate(lines):
            fields = line.split("|")
            if fields[1].endswith(" (deleted)") and fields[3].startswith("r/") and "--deep" not in args:
                fields[8] = str(int(fields[8]) + 2)
                lines[i] = "|".join(fields)
                break
        sys.stdout.write("\n".join(lines) + "\n")
        return out.returncode
    if args[:1] == ["recover"]:
        rc = subprocess.run([REAL] + args, check=False).returncode
        report = args[args.index("--report") + 1]
        with open(report, encoding="utf-8") as f:
            lines = [json.loads(x) for x in f]
        written = [r for r in lines if r.get("sha256") and r.get("size")]
        written[-1]["sha256"] = "0" * 64
        with open(report, "w", encoding="utf-8") as f:
            f.writelines(json.dumps(r) + "\n" for r in lines)
        return rc
    os.execv(REAL, [REAL] + args)
    return 1


if __name__ == "__main__":
    sys.exit(main())
