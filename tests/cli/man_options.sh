#!/usr/bin/env bash
# The man page names every option that some command's help lists, and every
# command's help is reachable both as "sarvik help CMD" and "sarvik CMD --help".
# Usage: man_options.sh SARVIK VOLUMES_DIR SOURCE_DIR

set -euo pipefail
SARVIK=$1
SOURCE=$3
MAN=$SOURCE/docs/man/sarvik.1
fail() { echo "FAIL: $*" >&2; exit 1; }

commands=$("$SARVIK" help | awk '/^commands:/ {on = 1; next} on && /^  [a-z]/ {print $1} on && /^$/ {exit}')
[[ $(wc -w <<<"$commands") -ge 6 ]] || fail "the general help lists these commands: $commands"
missing=()
for cmd in $commands; do
    help=$("$SARVIK" help "$cmd") || fail "sarvik help $cmd"
    [[ $help == "$("$SARVIK" "$cmd" --help)" ]] || fail "sarvik $cmd --help differs from sarvik help $cmd"
    for option in $(grep -oE '^  --[a-z-]+' <<<"$help"); do
        # groff spells each dash of an option "\-".
        grep -qF -- "${option//-/\\-}" "$MAN" || missing+=("$cmd $option")
    done
done
((${#missing[@]} == 0)) || fail "the man page does not name: ${missing[*]}"
echo "man_options: ok"
