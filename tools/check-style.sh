#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the code against the repository's .clang-format (src/ and tests/) and
# .clang-tidy (src/, through build/compile_commands.json, which tools/build.sh
# writes). Prints what each finds and a count; exits 1 when either finds
# anything, 2 when a tool or the compile database is missing.
#
#   tools/check-style.sh            both checks
#   tools/check-style.sh format     clang-format only
#   tools/check-style.sh tidy       clang-tidy only
#   tools/check-style.sh layers     front ends and the session layer reach
#                                   files through catalogue entries, never the
#                                   file systems' own lists (fsLists())
#   tools/check-style.sh naming [BASE]
#                                   the names of src/ (tools/naming.clang-tidy,
#                                   CONTRIBUTING.md "Names") on the lines added
#                                   or changed since BASE, committed or not
#
# The names are held to the rules only where code is new or changed, so that
# old names go when their code is next touched, not in one mass rename: BASE
# defaults to HEAD~1 (what the last commit, or a merge, brought); on a branch,
# give the commit it started from (tools/check-style.sh naming main). `all`
# runs the naming check too, and skips it with a note where BASE is not there
# (a shallow clone).
#
# JOBS sets how many clang-tidy processes run at once (default: the CPUs).
set -uo pipefail
cd "$(dirname "$0")/.."

what=${1:-all}
case "$what" in
all | format | tidy | naming | layers) ;;
*)
    echo "usage: tools/check-style.sh [all|format|tidy|layers|naming [BASE]]" >&2
    exit 2
    ;;
esac
base=${2:-HEAD~1}

status=0

if [[ $what == all || $what == format ]]; then
    command -v clang-format >/dev/null || { echo "clang-format not found" >&2; exit 2; }
    mapfile -t sources < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h')
    log=$(mktemp)
    clang-format --dry-run -Werror "${sources[@]}" 2>"$log"
    # One "file:line:col: error: code should be clang-formatted" line per place.
    mapfile -t unformatted < <(grep -oE '^[^:]+\.(cpp|h):[0-9]+:[0-9]+: error' "$log" | cut -d: -f1 | sort -u)
    if ((${#unformatted[@]} > 0)); then
        printf '%s\n' "${unformatted[@]}"
        echo "clang-format: ${#unformatted[@]} of ${#sources[@]} files differ from .clang-format" \
            "($(grep -c ': error' "$log") places); see them with: git clang-format --diff or clang-format FILE | diff FILE -"
        status=1
    else
        echo "clang-format: all ${#sources[@]} files formatted"
    fi
    rm -f "$log"
fi

if [[ $what == all || $what == layers ]]; then
    # The scans fill each file system's lists, the copy and the Condition read
    # a file's bytes from them, snapshots store them; everything above works on
    # catalogue::Entry and does not branch on the file system.
    mapfile -t leaks < <(git grep -nE 'fsLists\(\)|\b(Fat|Ntfs)(File|Folder)List\b' -- src/cli src/app src/session src/win32)
    if ((${#leaks[@]} > 0)); then
        printf '%s\n' "${leaks[@]}"
        echo "layers: ${#leaks[@]} lines above the catalogue reach its file systems' own lists; use Catalogue::entry()"
        status=1
    else
        echo "layers: the front ends and src/session reach files through catalogue entries"
    fi
fi

if [[ $what == all || $what == tidy ]]; then
    command -v clang-tidy >/dev/null || { echo "clang-tidy not found" >&2; exit 2; }
    if [[ ! -f build/compile_commands.json ]]; then
        echo "build/compile_commands.json missing: run tools/build.sh first" >&2
        exit 2
    fi
    # The Windows sources (src/platform/Win*.cpp, src/win32/) are not in this build's
    # compile database; tools/build-windows.sh builds them with -Werror.
    mapfile -t units < <(git ls-files -- 'src/*.cpp' ':!src/platform/Win*.cpp' ':!src/win32/*')
    log=$(mktemp)
    # Headers of src/ are checked where a unit of src/ includes them; Qt's and
    # the system's are not.
    printf '%s\n' "${units[@]}" |
        xargs -P "${JOBS:-$(nproc)}" -n 4 clang-tidy -p build --quiet --header-filter="$PWD/src/" \
            >"$log" 2>/dev/null
    mapfile -t findings < <(grep -E '^/.*: (warning|error): ' "$log" | sort -u)
    if ((${#findings[@]} > 0)); then
        # The full text, with the lines each finding points at.
        cat "$log"
        echo "clang-tidy: ${#findings[@]} findings in $(printf '%s\n' "${findings[@]}" | cut -d: -f1 | sort -u | wc -l) files"
        printf '%s\n' "${findings[@]}" | grep -oE '\[[a-z0-9.,-]+\]$' | sort | uniq -c | sort -rn
        status=1
    else
        echo "clang-tidy: no findings in ${#units[@]} units"
    fi
    rm -f "$log"
fi

if [[ $what == naming || $what == all ]]; then
    command -v clang-tidy >/dev/null || { echo "clang-tidy not found" >&2; exit 2; }
    if [[ ! -f build/compile_commands.json ]]; then
        echo "build/compile_commands.json missing: run tools/build.sh first" >&2
        exit 2
    fi
    if ! git rev-parse -q --verify "$base^{commit}" >/dev/null; then
        echo "naming: no revision $base to compare with; names not checked"
        [[ $what == naming ]] && exit 2
    else
        # The lines added or changed since BASE per file of src/ (files git
        # does not track yet count whole), as clang-tidy's line filter; and
        # the units to check them through: a changed source, and for a
        # changed header its own source or, failing that, one that includes it.
        plan=$(python3 - "$base" <<'PY'
import json, os, re, subprocess, sys

base = sys.argv[1]
def git(*args):
    return subprocess.run(["git", *args], check=True, capture_output=True, text=True).stdout
wanted = ["src/*.cpp", "src/*.h", ":!src/platform/Win*.cpp", ":!src/win32/*"]
ranges = {}
current = None
for line in git("diff", "-U0", "--no-renames", "--diff-filter=AM", base, "--", *wanted).splitlines():
    if line.startswith("+++ "):
        current = line[6:] if line.startswith("+++ b/") else None
    elif current and line.startswith("@@"):
        start, _, count = re.match(r"@@ -\S+ \+(\d+)(,(\d+))? @@", line).groups()
        count = 1 if count is None else int(count)
        if count:
            ranges.setdefault(current, []).append([int(start), int(start) + count - 1])
for path in git("ls-files", "--others", "--exclude-standard", "--", *wanted).splitlines():
    ranges[path] = [[1, 10**9]]
units = []
sources = git("ls-files", "--", "src/*.cpp", ":!src/platform/Win*.cpp", ":!src/win32/*").splitlines() + [
    p for p in ranges if p.endswith(".cpp")]
for path in sorted(ranges):
    if path.endswith(".cpp"):
        units.append(path)
        continue
    sibling = path[:-2] + ".cpp"
    include = '#include "%s"' % path[len("src/"):]
    users = [sibling] if os.path.exists(sibling) else [
        s for s in sorted(set(sources)) if os.path.exists(s) and include in open(s, encoding="utf-8", errors="replace").read()]
    if users:
        units.append(users[0])
    else:
        print("note: %s is included by no source of src/; not checked" % path, file=sys.stderr)
print(json.dumps([{"name": p, "lines": r} for p, r in sorted(ranges.items())]))
print("\n".join(sorted(set(units))))
PY
        ) || { echo "naming: cannot read the change since $base" >&2; exit 2; }
        filter=$(head -n 1 <<<"$plan")
        mapfile -t units < <(tail -n +2 <<<"$plan" | grep .)
        log=$(mktemp)
        if ((${#units[@]} > 0)); then
            printf '%s\n' "${units[@]}" |
                xargs -P "${JOBS:-$(nproc)}" -n 4 clang-tidy -p build --quiet --config-file=tools/naming.clang-tidy \
                    --header-filter="$PWD/src/" --line-filter="$filter" >"$log" 2>/dev/null
        fi
        mapfile -t findings < <(grep -E '^/.*: (warning|error): ' "$log" | sort -u)
        if ((${#findings[@]} > 0)); then
            printf '%s\n' "${findings[@]}"
            echo "naming: ${#findings[@]} names against CONTRIBUTING.md's rules in the lines changed since $base"
            status=1
        else
            echo "naming: the lines changed since $base (${#units[@]} units) follow the rules"
        fi
        rm -f "$log"
    fi
fi

exit "$status"
