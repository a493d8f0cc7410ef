#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# --udisks: a SOURCE the system refuses this user is opened by the disk manager
# (a stand-in service on a private bus) and scans as it does for root; without
# the option, or where no disk manager answers, it is refused with the reason.
# The refused user is "nobody", so the check runs as root (as CI does).
# Usage: udisks.sh SARVIK VOLUMES_DIR SOURCE_DIR
set -euo pipefail
sarvik=$1 source=$3
skip() { echo "skip: $*"; exit 77; }
fail() { echo "FAIL: $*" >&2; exit 1; }
[[ $(id -u) == 0 ]] || skip "needs root, to run the command as a user the image refuses"
for tool in setpriv dbus-daemon mkfs.fat mcopy mdel; do
    command -v "$tool" >/dev/null || [[ -x /sbin/$tool ]] || skip "$tool missing"
done
/usr/bin/python3 -c 'import dbus, gi' 2>/dev/null || skip "python3-dbus and python3-gi missing"
mkfs=$(command -v mkfs.fat || echo /sbin/mkfs.fat)

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
chmod 755 "$work"
export MTOOLS_SKIP_CHECK=1
"$mkfs" -C -F 32 "$work/card.img" 40000 >/dev/null
echo hello >"$work/a.txt"
for name in one two three; do mcopy -i "$work/card.img" "$work/a.txt" "::$name.txt"; done
mdel -i "$work/card.img" ::one.txt ::three.txt
chmod 600 "$work/card.img"

# The stand-in brings a bus of its own, that any user may reach, for the system bus.
/usr/bin/python3 "$source/tests/app/udisks_mock.py" "$work/card.img" "$work/card.img" >"$work/mock.out" &
pids+=($!)
for _ in $(seq 50); do grep -q ready "$work/mock.out" && break; sleep 0.1; done
grep -q ready "$work/mock.out" || fail "the stand-in disk manager did not start"
DBUS_SYSTEM_BUS_ADDRESS=$(sed -n 's/^ready //p' "$work/mock.out")
export DBUS_SYSTEM_BUS_ADDRESS

as_nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$sarvik" "$@"; }
expected=$("$sarvik" scan "$work/card.img" | tail -1)
[[ $expected == "0 folder(s), 2 deleted file(s) found" ]] || fail "root's scan: $expected"

if as_nobody scan "$work/card.img" >/dev/null 2>"$work/err"; then fail "the image was not refused"; fi
grep -q "Permission denied" "$work/err" || fail "refused without saying so: $(cat "$work/err")"
got=$(as_nobody scan --udisks "$work/card.img" 2>"$work/err" | tail -1) || fail "scan --udisks: $(cat "$work/err")"
[[ $got == "$expected" ]] || fail "scan --udisks: $got (root: $expected)"

# No disk manager on the bus: the reason, and the way that is left.
status=0
DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/none as_nobody scan --udisks "$work/card.img" >/dev/null 2>"$work/err" ||
    status=$?
[[ $status == 1 ]] || fail "no disk manager: exit status $status"
grep -q "UDisks2 cannot open $work/card.img" "$work/err" && grep -q "sudo" "$work/err" ||
    fail "no disk manager: $(cat "$work/err")"
echo "udisks: ok"
