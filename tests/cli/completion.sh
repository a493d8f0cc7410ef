#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion of data/bash-completion/sarvik: every command the general
# help lists and every option each command's help lists is offered; and the
# FOLDER of ls, the PATH of cat and the PATHs of recover come from what the
# SOURCE holds (folders only for ls), quoted or not, after options and their
# values, never from the host's files, and not at all from a SOURCE that
# cannot be read.
# Usage: completion.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$1 vols=$2 source=$3
img=$vols/fat32.img
[[ -f $img ]] || { echo "skip: $img missing (tools/make-test-volumes.sh)"; exit 77; }
fail() { echo "FAIL: $*" >&2; failed=1; }
failed=0

# LINE [WORDBREAKS]: the completions bash offers at the end of LINE, one a
# line, sorted. COMP_WORDS is split at blanks only: the completion reads the
# words from COMP_LINE.
complete_line() {
    PATH="$(dirname "$sarvik"):$PATH" bash -c '
        source "$1"; line=$2; COMP_WORDBREAKS=${3:-$'"'"' \t\n"\x27><=;|&(:'"'"'}
        read -ra COMP_WORDS <<<"$line"; [[ $line == *" " ]] && COMP_WORDS+=("")
        COMP_LINE=$line COMP_POINT=${#line} COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
        _sarvik; printf "%s\n" "${COMPREPLY[@]}"' _ "$source/data/bash-completion/sarvik" "$@" | sort
}
expect() { # LINE EXPECTED...: the completions of LINE are exactly EXPECTED
    local line=$1 got want
    shift
    got=$(complete_line "$line")
    want=$(printf '%s\n' "$@" | sed '/^$/d' | sort)
    [[ $got == "$want" ]] || fail "completion of '$line': got '${got//$'\n'/|}', want '${want//$'\n'/|}'"
}

# Every command and every option of the help.
commands=$("$sarvik" help | awk '/^commands:/ {on = 1; next} on && /^  [a-z]/ {print $1} on && /^$/ {exit}')
[[ $(wc -w <<<"$commands") -ge 6 ]] || fail "the general help lists these commands: $commands"
offered=$(complete_line "sarvik ")
for cmd in $commands; do
    grep -qx -- "$cmd" <<<"$offered" || fail "'sarvik ' does not offer the command $cmd"
    options=$(complete_line "sarvik $cmd x --")
    # The options of its help, and those every command takes.
    for option in $("$sarvik" help "$cmd" | grep -oE '^  --[a-z-]+') --udisks --verbose; do
        grep -qx -- "$option" <<<"$options" || fail "'sarvik $cmd x --' does not offer $option"
    done
done

# Found folders and files of the test volume (tools/make-test-volumes.sh).
expect "sarvik ls $img " Documents/ Photos/ Fragments/ Spill/
expect "sarvik ls $img /Documents/" /Documents/Projects/
expect "sarvik ls $img --min-size 10 Docu" Documents/
expect "sarvik ls $img --classic /Documents/Pro" /Documents/Projects/
expect "sarvik cat $img /Documents/Projects/D" "/Documents/Projects/Design notes.md"
expect "sarvik cat $img \"/Documents/Letter t" "/Documents/Letter to Anna.txt"
expect "sarvik cat $img /Documents/Letter\\ t" "/Documents/Letter to Anna.txt"
expect "sarvik cat $img /Documents/Projects/Design\\ notes.md " # one PATH only
expect "sarvik recover $img --to out --duplicates=skip /Photos/h" "/Photos/holiday 001.png" "/Photos/holiday 002.png"
expect "sarvik recover $img --all /Documents/Letter\\ to\\ Anna.txt /Photos/T" /Photos/Thumbs/
# Never the host's files, and nothing from what cannot be read.
expect "sarvik cat $img /us"
expect "sarvik cat $img/missing /"
expect "sarvik ls $vols /"

exit $failed
