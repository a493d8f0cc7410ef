#!/usr/bin/env bash
# Checks the code against the repository's .clang-format (src/ and tests/) and
# .clang-tidy (src/, through build/compile_commands.json, which tools/build.sh
# writes). Prints what each finds and a count; exits 1 when either finds
# anything, 2 when a tool or the compile database is missing.
#
#   tools/check-style.sh            both checks
#   tools/check-style.sh format     clang-format only
#   tools/check-style.sh tidy       clang-tidy only
#
# JOBS sets how many clang-tidy processes run at once (default: the CPUs).
set -uo pipefail
cd "$(dirname "$0")/.."

what=${1:-all}
case "$what" in
all | format | tidy) ;;
*)
    echo "usage: tools/check-style.sh [all|format|tidy]" >&2
    exit 2
    ;;
esac

status=0

if [[ $what != tidy ]]; then
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

if [[ $what != format ]]; then
    command -v clang-tidy >/dev/null || { echo "clang-tidy not found" >&2; exit 2; }
    if [[ ! -f build/compile_commands.json ]]; then
        echo "build/compile_commands.json missing: run tools/build.sh first" >&2
        exit 2
    fi
    # The Windows sources (src/platform/Win*.cpp) are not in this build's
    # compile database; tools/build-windows.sh builds them with -Werror.
    mapfile -t units < <(git ls-files -- 'src/*.cpp' ':!src/platform/Win*.cpp')
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

exit "$status"
