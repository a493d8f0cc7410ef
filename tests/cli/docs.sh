#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The documents a newcomer reads: README.md short enough to read through, its
# two set-up commands as CI runs them, and every link between README.md,
# CONTRIBUTING.md and docs/*.md leading to a file and heading that exist.
# Usage: docs.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
src=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
cd "$src"

lines=$(wc -l <README.md)
((lines <= 260)) || fail "README.md has $lines lines; keep it near 250 and move detail to docs/"

# The set-up block: the two commands as a newcomer copies them, and CI runs
# the test command that README names.
setup=$(awk '/^## Set-up/ {on = 1} on && /^```sh/ {code = 1; next} code && /^```/ {exit} code {print}' README.md)
grep -qx 'bash tools/demo.sh  *#.*' <<<"$setup" || fail "README's set-up block lacks 'bash tools/demo.sh': $setup"
grep -qx 'bash tools/test.sh  *#.*' <<<"$setup" || fail "README's set-up block lacks 'bash tools/test.sh': $setup"
[ -f tools/demo.sh ] && [ -f tools/test.sh ] || fail "a set-up command names a script that is not there"
grep -qx 'bash tools/test.sh' .ci/run || fail ".ci/run does not run README's test command"

python3 - README.md CONTRIBUTING.md docs/*.md <<'PY'
import os, re, sys

def slug(heading):
    # The anchor a Markdown renderer gives a heading: lower case, punctuation
    # but '-' and '_' dropped, each space a '-'.
    text = re.sub(r"`", "", heading.strip().lower())
    text = re.sub(r"[^\w\- ]", "", text)
    return text.replace(" ", "-")

def anchors(path):
    found, fenced = set(), False
    for line in open(path, encoding="utf-8"):
        if line.startswith("```"):
            fenced = not fenced
        elif not fenced and line.startswith("#"):
            found.add(slug(line.lstrip("#")))
    return found

bad = []
for doc in sys.argv[1:]:
    text = re.sub(r"```.*?```", "", open(doc, encoding="utf-8").read(), flags=re.S)
    for target in re.findall(r"\]\(([^)\s]+)\)", text):
        if re.match(r"[a-z]+:", target):
            continue  # a web address
        path, _, anchor = target.partition("#")
        full = os.path.normpath(os.path.join(os.path.dirname(doc), path)) if path else doc
        if not os.path.exists(full):
            bad.append(f"{doc}: {target}: no such file")
        elif anchor and full.endswith(".md") and anchor not in anchors(full):
            bad.append(f"{doc}: {target}: no such heading in {full}")
if bad:
    sys.exit("FAIL: broken links:\n" + "\n".join(bad))
PY
echo "docs: ok ($lines lines in README.md)"
