#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# tools/check-style.sh naming, in a scratch repository of its own: a name
# against the rules on a line changed since the base is reported (a function
# in a source, a member in a header, a function in a file git does not track
# yet, a constant without its k), an old name on a line the change leaves
# alone is not, nor a name that follows the rules (an enumeration's namespace
# of constants included); with nothing changed since the base nothing is.
# Usage: check_style_naming.sh SOURCE_DIR
set -euo pipefail
src=${1:?usage: check_style_naming.sh SOURCE_DIR}
for t in clang-tidy git python3; do
    command -v "$t" >/dev/null || { echo "skip: $t not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "FAIL: $*" >&2; exit 1; }

mkdir -p tools src/demo build
cp "$src/tools/check-style.sh" "$src/tools/naming.clang-tidy" tools/
git init -q && git config user.email test@example.invalid && git config user.name test
cat >src/demo/Old.h <<'CPP'
#pragma once
namespace demo {
int OldName(int value); // named before the rules, on a line the change keeps
struct Settings {
    int FieldCount = 0;
};
} // namespace demo
CPP
cat >src/demo/Old.cpp <<'CPP'
#include "demo/Old.h"
namespace demo {
int OldName(int value)
{
    return value + 1;
}
} // namespace demo
CPP
git add -A && git commit -qm base

# The change: a misnamed function added to the source, a class whose private
# member lacks its prefix added to the header, and a new file.
cat >>src/demo/Old.cpp <<'CPP'
namespace demo {
int Bad_Function(int value)
{
    return OldName(value) * 2;
}
} // namespace demo
CPP
python3 - <<'PY'
text = open("src/demo/Old.h").read()
text = text.replace("} // namespace demo", """class Counter {
public:
    int count() const { return m_count + total; }

private:
    int total = 0;
    int m_count = 0;
};
} // namespace demo""")
open("src/demo/Old.h", "w").write(text)
PY
cat >src/demo/Scratch.cpp <<'CPP'
namespace demo {
constexpr int badConstant = 1;
constexpr int kGoodConstant = 2;
namespace VolumeKind { // an enumeration of a format's values
constexpr int Fat32 = 3;
} // namespace VolumeKind
int ScratchHelper()
{
    return 1;
}
int wellNamed()
{
    return ScratchHelper() + 1;
}
} // namespace demo
CPP
python3 - "$work" <<'PY'
import json, sys
root = sys.argv[1]
units = ["src/demo/Old.cpp", "src/demo/Scratch.cpp"]
json.dump([{"directory": root, "file": f"{root}/{u}", "command": f"c++ -std=c++20 -I{root}/src -c {root}/{u}"}
           for u in units], open("build/compile_commands.json", "w"))
PY

status=0
bash tools/check-style.sh naming HEAD >out.txt 2>&1 || status=$?
[[ $status == 1 ]] || fail "status $status for a change with misnamed names: $(cat out.txt)"
for name in Bad_Function total ScratchHelper badConstant; do
    grep -q "'$name'" out.txt || fail "$name not reported: $(cat out.txt)"
done
for name in OldName FieldCount wellNamed m_count count kGoodConstant VolumeKind Fat32; do
    ! grep -q "'$name'" out.txt || fail "$name reported: $(cat out.txt)"
done
[[ $(grep -c 'readability-identifier-naming' out.txt) == 4 ]] || fail "not four findings: $(cat out.txt)"

# Committed, the change is what HEAD~1 (the default base) compares with.
git add -A && git commit -qm change
status=0
bash tools/check-style.sh naming >out.txt 2>&1 || status=$?
[[ $status == 1 ]] && [[ $(grep -c 'readability-identifier-naming' out.txt) == 4 ]] ||
    fail "committed change against HEAD~1: status $status: $(cat out.txt)"
status=0
bash tools/check-style.sh naming HEAD >out.txt 2>&1 || status=$?
[[ $status == 0 ]] || fail "nothing changed since HEAD, yet status $status: $(cat out.txt)"
echo "check-style naming: ok"
