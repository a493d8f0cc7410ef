#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The man page names every option that some command's help lists, the
# synopsis of each command names every option of that command's help, and every
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
unsynopsised=()
for cmd in $commands; do
    help=$("$SARVIK" help "$cmd") || fail "sarvik help $cmd"
    [[ $help == "$("$SARVIK" "$cmd" --help)" ]] || fail "sarvik $cmd --help differs from sarvik help $cmd"
    # The command's synopsis: from its .SY line to the next .YS.
    synopsis=$(awk -v sy=".SY \"sarvik $cmd\"" '$0 == sy {on = 1} on {print} on && /^\.YS/ {exit}' "$MAN")
    [[ -n $synopsis ]] || fail "the man page has no synopsis of sarvik $cmd"
    for option in $(grep -oE '^  --[a-z-]+' <<<"$help"); do
        [[ $option == --help ]] && continue # the synopsis "sarvik COMMAND --help" stands for every command
        # groff spells each dash of an option "\-".
        grep -qF -- "${option//-/\\-}" "$MAN" || missing+=("$cmd $option")
        grep -qE -- "${option//-/\\\\-}([^a-z\\\\]|\\\\~|$)" <<<"$synopsis" || unsynopsised+=("$cmd $option")
    done
done
((${#missing[@]} == 0)) || fail "the man page does not name: ${missing[*]}"
((${#unsynopsised[@]} == 0)) || fail "the man page's synopses leave out: ${unsynopsised[*]}"
# SEE ALSO names the tools a reader of this page reaches for beside it.
see_also=$(sed -n '/^\.SH "\{0,1\}SEE ALSO/,/^\.SH/p' "$MAN")
for page in "fls (1)" "icat (1)" "photorec (8)" "testdisk (8)" "ntfsundelete (8)" "ddrescue (1)"; do
    grep -qF ".BR ${page%% *} ${page#* }" <<<"$see_also" || fail "SEE ALSO does not name ${page// /}"
done
echo "man_options: ok"
