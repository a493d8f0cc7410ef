#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows packages: tools/package-windows.sh run twice (the second time
# with the programs' file times and the time zone changed) must give the same
# bytes; the installer, run silently under wine, must put both programs into
# Program Files with a Start menu entry and an uninstaller that the system
# knows of; the installed desktop program must run through its steps; the
# uninstaller must take it all away again.
#
#   bash tests/windows/installer-check.sh TEST_VOLUMES
#
# Expects WINEPREFIX and WINEDEBUG set up as tools/build-windows.sh does.
set -euo pipefail
root=$(realpath "$(dirname "$0")/../..")
volumes=$(realpath "$1")
work=$root/build-windows/installer-check
rm -rf "$work"
mkdir -p "$work"
failed=0
fail() {
  echo "installer-check: $*" >&2
  failed=1
}

first=$(bash "$root/tools/package-windows.sh" "$work/first")
touch "$root"/build-windows/bin/sarvik.exe "$root"/build-windows/bin/sarvik-undelete.exe
second=$(TZ=Asia/Tokyo bash "$root/tools/package-windows.sh" "$work/second")
setup=$(echo "$first" | sed -n 1p)
zip=$(echo "$first" | sed -n 2p)
a=$(cd "$work/first" && sha256sum -- *)
b=$(cd "$work/second" && sha256sum -- *)
if [ "$a" != "$b" ] || [ "$(echo "$second" | wc -l)" != 2 ]; then
  fail "two packings differ:"$'\n'"$a"$'\n'"$b"
else
  echo "installer-check: two packings give the same bytes ($(basename "$setup"), $(basename "$zip"))" >&2
fi
listed=$(unzip -Z1 "$zip" | sed 's|^[^/]*/||' | sort | tr '\n' ' ')
[ "$listed" = "LICENSE.txt README.txt sarvik-undelete.exe sarvik.exe " ] || fail "the portable zip holds: $listed"

wineserver --kill >/dev/null 2>&1 || true
program="$WINEPREFIX/drive_c/Program Files/Velmora Sarvik Undelete"
menu="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/Velmora Sarvik Undelete"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VelmoraSarvikUndelete'
rm -rf "$program" "$menu"
timeout 120 wine "$setup" /S || fail "the installer ended with $?"
wineserver --wait >/dev/null 2>&1 || true
for f in sarvik-undelete.exe sarvik.exe Uninstall.exe LICENSE.txt; do
  [ -f "$program/$f" ] || fail "not installed: $f"
done
[ -f "$menu/Velmora Sarvik Undelete.lnk" ] || fail "no Start menu entry in $menu"
version=$(wine reg query "$key" /v DisplayVersion 2>/dev/null | tr -d '\r' | awk '/DisplayVersion/ {print $3}' || true)
[ -n "$version" ] && [[ "$setup" == *"-$version-setup.exe" ]] || fail "the system knows version '$version' of it"

# The installed program runs through its steps on a test volume (wine
# started afresh on the virtual display, as the desktop check does).
status=0
wineserver --kill >/dev/null 2>&1 || true
wineserver --wait >/dev/null 2>&1 || true
timeout 120 xvfb-run -a -s "-screen 0 1280x900x24" \
  wine "$program/sarvik-undelete.exe" --self-test "Z:$volumes/fat32.img" >"$work/installed.out" 2>/dev/null ||
  status=$?
wineserver --kill >/dev/null 2>&1 || true
if [ "$status" != 0 ] || ! tr -d '\r' <"$work/installed.out" | grep -q '^self-test: .* root lists [1-9]'; then
  fail "the installed program: exit $status, $(head -2 "$work/installed.out")"
fi

# Run in place (_?=) so that the uninstaller's end is waited for.
timeout 120 wine "$program/Uninstall.exe" /S "_?=C:\\Program Files\\Velmora Sarvik Undelete" ||
  fail "the uninstaller ended with $?"
wineserver --wait >/dev/null 2>&1 || true
for f in sarvik-undelete.exe sarvik.exe LICENSE.txt; do
  [ ! -e "$program/$f" ] || fail "left behind: $f"
done
[ ! -e "$menu" ] || fail "the Start menu entry is left behind"
if wine reg query "$key" >/dev/null 2>&1; then
  fail "the system still lists it as installed"
fi
[ "$failed" = 0 ] && echo "installer-check: installed, ran and uninstalled under wine" >&2
exit "$failed"
