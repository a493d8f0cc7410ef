#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Windows desktop program under wine on a virtual X display, driven through
# its steps by its --self-test flag: opens a test volume, scans it, lists the
# root folder, copies the root's rows (everything below them) into a folder;
# the copies must be the bytes the Linux command line's `recover --all` writes.
#
#   bash tests/windows/desktop-check.sh SARVIK_UNDELETE_EXE SARVIK_LINUX TEST_VOLUMES
#
# Expects WINEPREFIX and WINEDEBUG set up as tools/build-windows.sh does.
set -euo pipefail
here=$(dirname "$(realpath "$0")") # copies.py lies beside this script
exe=$(realpath "$1")
linux=$(realpath "$2")
volumes=$(realpath "$3")
work=$(realpath -m "$(dirname "$exe")/../desktop-check")
rm -rf "$work"
mkdir -p "$work"
failed=0
if ! command -v xvfb-run >/dev/null; then
  echo "desktop-check: xvfb-run is missing (Debian's xvfb package)" >&2
  exit 1
fi

# A wine server started without a display (the console tests before this,
# or the run before on a display now gone) gives a window program none, and it
# ends at once: each run starts wine afresh on its own virtual display.
fresh_wine() {
  wineserver --kill >/dev/null 2>&1 || true
  wineserver --wait >/dev/null 2>&1 || true
}

for name in fat32 ntfs exfat; do
  image=$volumes/$name.img
  if [ ! -f "$image" ]; then
    echo "desktop-check: $image is missing (tools/make-test-volumes.sh makes it)" >&2
    exit 1
  fi
  "$linux" recover "$image" --all --to "$work/$name.linux" >/dev/null 2>&1 || true
  mkdir -p "$work/$name.windows" # a folder the user chose exists
  status=0
  fresh_wine
  timeout 300 xvfb-run -a -s "-screen 0 1280x900x24" \
    wine "$exe" --self-test "Z:$image" --recover-to "Z:$work/$name.windows" >"$work/$name.out" 2>/dev/null ||
    status=$?
  tr -d '\r' <"$work/$name.out" >"$work/$name.log"
  if [ "$status" != 0 ] || ! grep -q '^self-test: .* folders in the tree; root lists' "$work/$name.log"; then
    echo "desktop-check: $name: the run through the steps failed (exit $status):" >&2
    head -5 "$work/$name.log" >&2
    failed=1
    continue
  fi
  if ! /usr/bin/python3 - "$work/$name.linux" "$work/$name.windows" "$name" "$here" <<'PY'; then
import sys
linux, windows, name, here = sys.argv[1:5]
sys.path.insert(0, here)
from copies import comparable, tree

lin, win = tree(linux), tree(windows)
checked = comparable(lin)
bad = [p for p in checked if win.get(p) != lin[p]]
for p in bad[:10]:
    print(f'desktop-check: {name}: {p}: ' + ('missing' if p not in win else 'different bytes'), file=sys.stderr)
print(f'desktop-check: {name}: {len(checked) - len(bad)} of {len(checked)} copies equal to the Linux ones '
      f'({len(win)} files copied under wine, {len(lin)} on Linux)', file=sys.stderr)
sys.exit(1 if bad or not checked else 0)
PY
    failed=1
  fi
done

# Stop pressed as the scan starts: the scan ends stopped, the results page shows
# what it found, and the program ends by itself (exit 0, or 1 for an empty root).
status=0
fresh_wine
timeout 120 xvfb-run -a -s "-screen 0 1280x900x24" \
  wine "$exe" --self-test "Z:$volumes/ntfs.img" --deep --stop >"$work/stop.out" 2>/dev/null || status=$?
if [ "$status" -gt 1 ] || ! tr -d '\r' <"$work/stop.out" | grep -q '; the scan was stopped$' ||
  ! tr -d '\r' <"$work/stop.out" | grep -qx 'self-test: asked: Do you want to stop the current process ? Yes'; then
  echo "desktop-check: Stop at the start of a scan: exit $status, $(head -1 "$work/stop.out")" >&2
  failed=1
else
  echo "desktop-check: Stop at the start of a scan asks, then ends it stopped" >&2
fi

# The results page's commands through their menu items, their boxes driven
# by the program itself: what the boxes show must be what the volume holds
# (its manifest), a grayed command must do nothing, a snapshot saved and
# loaded again must list what the scan did. The snapshot is saved under the
# name as typed (".rvu" added), never upper-cased.
status=0
fresh_wine
timeout 180 xvfb-run -a -s "-screen 0 1280x900x24" \
  wine "$exe" --self-test "Z:$volumes/fat32.img" --do drive-info --do "properties:Large archive.dat" \
  --do properties:Documents --do "find:*.txt" --do "preview:Quarterly Report 2024.txt" \
  --do "preview:Large archive.dat" --do "filter:*.bin" --do settings:skip --do settings \
  --do "save:Z:$work/Steps-1" --do back --do find:x --do "load:Z:$work/Steps-1.rvu" --do "open:Café menu.txt" \
  --do open:Documents >"$work/steps.out" 2>/dev/null ||
  status=$?
tr -d '\r' <"$work/steps.out" >"$work/steps.log"
if [ "$status" != 0 ] || [ ! -f "$work/Steps-1.rvu" ] || [ -e "$work/STEPS-1.RVU" ] ||
  ! /usr/bin/python3 "$here/steps.py" "$work/steps.log" "$volumes/fat32.manifest.tsv" "Z:$work/Steps-1.rvu" \
    "$work/fat32.linux"; then
  echo "desktop-check: the commands of the results page (exit $status), see $work/steps.log" >&2
  failed=1
fi

# A folder renamed before the copy is written under its new name, with the
# bytes the Linux program writes under the old one.
status=0
fresh_wine
mkdir -p "$work/renamed.windows"
timeout 180 xvfb-run -a -s "-screen 0 1280x900x24" \
  wine "$exe" --self-test "Z:$volumes/fat32.img" --do "rename:Spill=Overflow" --do select-all --do recover-selected \
  --recover-to "Z:$work/renamed.windows" >"$work/renamed.out" 2>/dev/null || status=$?
if [ "$status" != 0 ] || ! /usr/bin/python3 - "$work/fat32.linux" "$work/renamed.windows" "$here" <<'PY'; then
import sys
linux, windows, here = sys.argv[1:4]
sys.path.insert(0, here)
from copies import tree

lin, win = tree(linux), tree(windows)
spill = {p[len('Spill/'):]: h for p, h in lin.items() if p.startswith('Spill/')}
over = {p[len('Overflow/'):]: h for p, h in win.items() if p.startswith('Overflow/')}
left = [p for p in win if p.startswith('Spill/')]
ok = spill and spill == over and not left
print(f'desktop-check: rename: {len(over)} files under the new name, {len(spill)} under the old one on Linux, '
      f'{len(left)} left under the old one', file=sys.stderr)
sys.exit(0 if ok else 1)
PY
  echo "desktop-check: a folder renamed before the copy (exit $status)" >&2
  failed=1
fi

# Open and Preview read the file on the copy's worker: Stop pressed as they
# start cancels them, nothing is opened or shown, and the steps after go on.
status=0
fresh_wine
timeout 120 xvfb-run -a -s "-screen 0 1280x900x24" \
  wine "$exe" --self-test "Z:$volumes/fat32.img" --do "open-cancel:Large archive.dat" \
  --do "preview-cancel:Large archive.dat" --do "open:Café menu.txt" --do "preview:Café menu.txt" \
  >"$work/cancel.out" 2>/dev/null || status=$?
tr -d '\r' <"$work/cancel.out" >"$work/cancel.log"
if [ "$status" != 0 ] ||
  [ "$(sed -n '/^self-test: step open-cancel:/{n;p;}' "$work/cancel.log")" != 'self-test: open cancelled' ] ||
  [ "$(sed -n '/^self-test: step preview-cancel:/{n;p;}' "$work/cancel.log")" != 'self-test: preview cancelled' ] ||
  [ "$(grep -c '^dialog ' "$work/cancel.log")" != 1 ] ||
  grep -q '^self-test: copied to open as .*Large archive\.dat$' "$work/cancel.log" ||
  ! grep -q '^self-test: copied to open as .*Café menu\.txt$' "$work/cancel.log"; then
  echo "desktop-check: Open and Preview cancelled: exit $status, see $work/cancel.log" >&2
  failed=1
else
  echo "desktop-check: Open and Preview cancelled: nothing opened or shown, the next ones still work" >&2
fi

# Search for Lost Volumes on a disk whose partition table is gone: a FAT32
# volume 2 MiB in, nothing before it.
status=0
fresh_wine
truncate -s 2M "$work/lost.img"
dd if="$volumes/fat32.img" of="$work/lost.img" bs=512 seek=4096 conv=notrunc,sparse status=none
timeout 180 xvfb-run -a -s "-screen 0 1280x900x24" \
  wine "$exe" --self-test "Z:$work/lost.img" --drive-page --do lost-volumes >"$work/lost.out" 2>/dev/null || status=$?
if [ "$status" != 0 ] || ! tr -d '\r' <"$work/lost.out" | grep -q '^1 lost volume(s) found' ||
  ! tr -d '\r' <"$work/lost.out" | grep -q '^Disk Image(lost.img) lost 1: FAT32 (found by its boot sector)$'; then
  echo "desktop-check: lost volumes: exit $status, $(tr -d '\r' <"$work/lost.out" | tail -2 | tr '\n' ' ')" >&2
  failed=1
else
  echo "desktop-check: lost volumes: the volume without a partition table is found" >&2
fi

# Deep Search from the results page, on a volume whose deleted folders were
# overwritten in part and whose free space holds more of them: run to its end,
# files join the results and every row the scan listed stays; run while the
# folder Keep is listed, Keep stays listed and shows the folder found lost
# below it; stopped as it starts, it ends stopped and the scan's rows stay too.
for run in deep deep-in-keep deep-stop; do
  steps=(--do "${run%-in-keep}")
  [ "$run" = deep-in-keep ] && steps=(--do open:Keep --do deep)
  status=0
  fresh_wine
  timeout 300 xvfb-run -a -s "-screen 0 1280x900x24" \
    wine "$exe" --self-test "Z:$volumes/thorough-fat32.img" "${steps[@]}" >"$work/$run.out" 2>/dev/null || status=$?
  tr -d '\r' <"$work/$run.out" >"$work/$run.log"
  if [ "$status" != 0 ] || ! /usr/bin/python3 - "$work/$run.log" "$run" <<'PY'; then
import re, sys
lines = open(sys.argv[1], encoding='utf-8').read().splitlines()
run = sys.argv[2]
step = 'deep-stop' if run == 'deep-stop' else 'deep'

def rows_after(start):
    rows = []
    for line in lines[start + 1:]:
        if not line.startswith('  '):
            break
        rows.append(line.strip().split('\t')[0])
    return rows

scanned = next(i for i, l in enumerate(lines) if re.match(r'^self-test: .* folders in the tree; root lists', l))
before = rows_after(scanned)
started = lines.index('self-test: step ' + step)
outcome = next(l for l in lines[started:] if l.startswith('self-test: Deep search'))
listed = next(i for i in range(started, len(lines)) if re.match(r'^self-test: .* lists \d+ rows$', lines[i]))
after = rows_after(listed)
lost = [r for r in before if r not in after]
if step == 'deep':
    found = re.match(r'^self-test: Deep search found (\d+) more folders? and (\d+) more files?\.', outcome)
    ok = found is not None and int(found.group(2)) > 0
else:
    # Stop asks first, as the scan's Stop does.
    asked = 'self-test: asked: Do you want to stop the current process ? Yes' in lines[started:]
    ok = asked and outcome.startswith('self-test: Deep search stopped')
if run == 'deep-in-keep':
    ok = ok and lines[listed].endswith('\\Keep lists %d rows' % len(after)) and '$Lost folder 670' in after
    shown = f'{lines[listed][len("self-test: "):]}: {", ".join(after)}'
else:
    ok = ok and bool(before) and not lost
    shown = f'the root listed {len(before)} rows before, {len(after)} after, {len(lost)} of them gone'
print(f'desktop-check: {run}: "{outcome[len("self-test: "):]}"; {shown}', file=sys.stderr)
sys.exit(0 if ok else 1)
PY
    echo "desktop-check: $run from the results page: exit $status, see $work/$run.log" >&2
    failed=1
  fi
done

# A deleted picture is previewed as a picture (the Windows Imaging Component
# decodes it): a 40 x 30 PNG written to a FAT volume by mtools, then deleted.
status=0
fresh_wine
/usr/bin/python3 - "$work/sunset.png" <<'PY'
import struct, sys, zlib
w, h = 40, 30
rows = b''.join(b'\0' + b''.join(bytes((x * 6 % 256, y * 8 % 256, 128)) for x in range(w)) for y in range(h))
def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
with open(sys.argv[1], 'wb') as f:
    f.write(b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))
PY
# Beside it a deleted PDF, whose pages only the Linux program draws: its
# preview says so, and the picture's does not.
printf '%%PDF-1.4\n1 0 obj << /Type /Catalog >> endobj\ntrailer << /Root 1 0 R >>\n%%%%EOF\n' >"$work/report.pdf"
rm -f "$work/picture.img"
mkfs.fat -C "$work/picture.img" 2048 >/dev/null
mcopy -i "$work/picture.img" "$work/sunset.png" ::sunset.png
mcopy -i "$work/picture.img" "$work/report.pdf" ::report.pdf
mdel -i "$work/picture.img" ::sunset.png ::report.pdf
timeout 120 xvfb-run -a -s "-screen 0 1280x900x24" \
  wine "$exe" --self-test "Z:$work/picture.img" --do "preview:_unset.png" --do "preview:_eport.pdf" \
  >"$work/picture.out" 2>/dev/null || status=$?
tr -d '\r' <"$work/picture.out" >"$work/picture.log"
if [ "$status" != 0 ] || ! grep -q '; a picture of 40 x 30$' "$work/picture.log" ||
  ! grep -q '^  shown as picture$' "$work/picture.log"; then
  echo "desktop-check: picture preview: exit $status, $(tail -3 "$work/picture.log" | tr '\n' ' ')" >&2
  failed=1
else
  echo "desktop-check: picture preview: the deleted PNG shows as a 40 x 30 picture" >&2
fi
pdf_note='The preview of PDF files is not in the Windows program; Open shows the file in its own program.'
if [ "$status" != 0 ] || [ "$(grep -c -F -x "$pdf_note" "$work/picture.log")" != 1 ] ||
  ! sed -n '/^self-test: step preview:_eport.pdf$/,$p' "$work/picture.log" | grep -q -F -x "$pdf_note"; then
  echo "desktop-check: PDF preview: exit $status, the note on PDF shown $(grep -c -F -x "$pdf_note" \
    "$work/picture.log") time(s); see $work/picture.log" >&2
  failed=1
else
  echo "desktop-check: PDF preview: says the Windows program shows no PDF pages" >&2
fi

# A disk image in a container this build has no library for is refused when
# it is added, with the formats it reads as `sarvik info` names them.
status=0
/usr/bin/python3 - "$work/disk.vmdk" <<'PY'
import struct, sys
# A sparse VMDK's header: magic, version 1, flags, 64 MiB of 512-byte sectors.
header = b'KDMV' + struct.pack('<IIQQ', 1, 3, 131072, 128)
with open(sys.argv[1], 'wb') as f:
    f.write(header.ljust(65536, b'\0'))
PY
formats=$(wine "$(dirname "$exe")/sarvik.exe" info "Z:$volumes/fat32.img" 2>/dev/null | tr -d '\r' |
  sed -n 's/^Image formats read  : //p')
fresh_wine # the console run left a wine server without a display
timeout 120 xvfb-run -a -s "-screen 0 1280x900x24" \
  wine "$exe" --self-test "Z:$work/disk.vmdk" >"$work/vmdk.out" 2>/dev/null || status=$?
refusal="This Windows build does not read VMware disk (VMDK) images; it reads $formats. disk.vmdk opens in"
if [[ $formats == *VMDK* ]]; then
  echo "desktop-check: VMDK image: this build reads VMDK ($formats); nothing to refuse" >&2
elif [ -z "$formats" ] || [ "$status" != 2 ] || ! tr -d '\r' <"$work/vmdk.out" | grep -q -F "$refusal"; then
  echo "desktop-check: VMDK image: exit $status, formats read: '$formats', $(head -2 "$work/vmdk.out")" >&2
  failed=1
else
  echo "desktop-check: VMDK image: refused, naming what this build reads ($formats)" >&2
fi

# The Open Disk Image box says which containers this build does not read,
# beside the formats it reads as `sarvik info` names them.
status=0
fresh_wine
timeout 120 xvfb-run -a -s "-screen 0 1280x900x24" wine "$exe" --self-test "Z:$volumes/fat32.img" --drive-page \
  --do open-image >"$work/openbox.out" 2>/dev/null || status=$?
tr -d '\r' <"$work/openbox.out" >"$work/openbox.log"
line_start="self-test: the box shows: This Windows build reads $formats; it does not read "
unread=$(grep -F "$line_start" "$work/openbox.log" | sed 's/^.*; it does not read //') || true
if [[ $formats == *VMDK* ]]; then vmdk_unread=no; else vmdk_unread=yes; fi
if [ "$status" != 0 ] || [ "$(grep -c -F "$line_start" "$work/openbox.log")" != 1 ] || [[ $unread != *. ]] ||
  { [ $vmdk_unread = yes ] && [[ $unread != *'VMware disk (VMDK)'* ]]; } ||
  { [ $vmdk_unread = no ] && [[ $unread == *VMDK* ]]; }; then
  echo "desktop-check: Open Disk Image box: exit $status, see $work/openbox.log" >&2
  failed=1
else
  echo "desktop-check: Open Disk Image box: names what this build does not read: $unread" >&2
fi

# With the system's apps set to dark, the lists and the menu bar are drawn dark
# (the menus' items by the program itself); set back to light, in the system's colours.
status=0
fresh_wine
theme='HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'
wine reg add "$theme" /v AppsUseLightTheme /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver --wait >/dev/null 2>&1 || true
timeout 120 xvfb-run -a -s "-screen 0 1280x900x24" wine "$exe" --self-test "Z:$volumes/fat32.img" \
  --do "find:*.txt" --do settings >"$work/dark.out" 2>/dev/null || status=$?
wine reg add "$theme" /v AppsUseLightTheme /t REG_DWORD /d 1 /f >/dev/null 2>&1
wineserver --wait >/dev/null 2>&1 || true
if [ "$status" != 0 ] || ! tr -d '\r' <"$work/dark.out" | grep -q '^self-test: dark colours, list background #2b2b2b$' ||
  ! tr -d '\r' <"$work/dark.out" | grep -q '^self-test: menu bar: 4 of 4 items drawn dark$' ||
  tr -d '\r' <"$work/dark.out" | grep -q 'is not available now$' ||
  ! tr -d '\r' <"$work/dark.out" | grep -q '^  Files Found: [1-9]' ||
  ! tr -d '\r' <"$work/dark.out" | grep -q 'Skip duplicate file(s)' ||
  ! tr -d '\r' <"$work/fat32.out" | grep -q '^self-test: light colours' ||
  ! tr -d '\r' <"$work/fat32.out" | grep -q '^self-test: menu bar: 0 of 4 items drawn dark$'; then
  echo "desktop-check: dark mode: exit $status, $(tr -d '\r' <"$work/dark.out" | grep -E 'colours|menu bar')" >&2
  failed=1
else
  echo "desktop-check: dark mode: the lists and the menu bar follow the system's apps" >&2
fi

# At 200% (192 dots per inch) the toolbar's pictures are twice their 100% size.
status=0
fresh_wine
desktop='HKCU\Control Panel\Desktop'
wine reg add "$desktop" /v LogPixels /t REG_DWORD /d 192 /f >/dev/null 2>&1
wineserver --wait >/dev/null 2>&1 || true
timeout 120 xvfb-run -a -s "-screen 0 1280x900x24" wine "$exe" --self-test "Z:$volumes/fat32.img" \
  >"$work/dpi.out" 2>/dev/null || status=$?
wine reg add "$desktop" /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
wineserver --wait >/dev/null 2>&1 || true
if [ "$status" != 0 ] || ! tr -d '\r' <"$work/dpi.out" | grep -q '^self-test: toolbar pictures 32 x 32 at 192 dpi, 7 of them$' ||
  ! tr -d '\r' <"$work/fat32.out" | grep -q '^self-test: toolbar pictures 16 x 16 at 96 dpi, 7 of them$'; then
  echo "desktop-check: toolbar at 200%: exit $status, $(tr -d '\r' <"$work/dpi.out" | grep toolbar)" >&2
  failed=1
else
  echo "desktop-check: toolbar: 16-pixel pictures at 100%, 32 at 200%" >&2
fi

# A wrong command line from a script ends at once with its reason, no box to wait on.
status=0
fresh_wine
timeout 60 xvfb-run -a -s "-screen 0 1280x900x24" wine "$exe" --self-test "Z:$volumes/ntfs.img" --hold-ms soon \
  >/dev/null 2>"$work/usage.err" || status=$?
if [ "$status" != 2 ] || ! grep -q -- '--hold-ms takes milliseconds' "$work/usage.err"; then
  echo "desktop-check: a wrong command line: exit $status, $(grep -v '^wine' "$work/usage.err" | head -1)" >&2
  failed=1
fi
exit "$failed"
