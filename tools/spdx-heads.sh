#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Gives every tracked source file the licence's SPDX line at its head:
#   C, C++:                 // SPDX-License-Identifier: GPL-3.0-or-later
#   CMake, shell, Python:   # SPDX-License-Identifier: GPL-3.0-or-later
# A script's "#!" line stays first; the SPDX line goes right under it.
#
# Usage: tools/spdx-heads.sh [--check] [DIR]
#   DIR      a git checkout (default: the one this script lies in)
#   --check  changes nothing; names each file without the line and exits 1
#            when there is one
set -euo pipefail

check=0
if [ "${1:-}" = --check ]; then
  check=1
  shift
fi
root=${1:-"$(dirname "$0")/.."}
cd "$root"

readonly licence='SPDX-License-Identifier: GPL-3.0-or-later'

# The comment that opens a line of FILE's language, or nothing when FILE is
# not a source file.
comment_of() {
  case $1 in
  *.cpp | *.h | *.c | *.hpp | *.cc) echo '//' ;;
  *.sh | *.py | *.cmake | */CMakeLists.txt | CMakeLists.txt | data/bash-completion/*) echo '#' ;;
  *.*) ;;
  *) # no extension: a script by its "#!" line
    if head -c 2 "$1" 2>/dev/null | grep -q '^#!'; then
      head -n 1 "$1" | grep -qE 'sh|python' && echo '#'
    fi
    ;;
  esac
  return 0
}

# Whether FILE names the licence in its first lines (after "#!" and the like).
has_line() {
  head -n 3 "$1" | grep -qF "$licence"
}

missing=()
while IFS= read -r -d '' file; do
  [ -f "$file" ] && [ ! -L "$file" ] || continue
  comment=$(comment_of "$file")
  [ -n "$comment" ] || continue
  has_line "$file" && continue
  missing+=("$file")
  ((check)) && continue
  line="$comment $licence"
  tmp=$(mktemp "$file.spdx.XXXXXX")
  if head -c 2 "$file" | grep -q '^#!'; then
    { head -n 1 "$file"; echo "$line"; tail -n +2 "$file"; } >"$tmp"
  else
    { echo "$line"; cat "$file"; } >"$tmp"
  fi
  chmod --reference="$file" "$tmp"
  mv "$tmp" "$file"
done < <(git ls-files -z)

if ((check)); then
  if ((${#missing[@]} != 0)); then
    printf 'spdx-heads: no SPDX line: %s\n' "${missing[@]}" >&2
    exit 1
  fi
  exit 0
fi
echo "spdx-heads: added the SPDX line to ${#missing[@]} file(s)"
