#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the Windows desktop program (built by tools/build-windows.sh) under wine
# on a virtual X display and saves a picture of the drive page and of the
# results page, of the boxes of the results page (Find File(s), Properties,
# Recovery Settings), at 100% and at 200% (wine's LogPixels 96 and 192), and
# of the results page, Find File(s) and the View menu open in dark mode (at
# 200%); each also trimmed to the window (NAME-window.png).
# Usage: tools/screenshots-windows.sh [IMAGE [OUTDIR]]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
image=$(realpath "${1:-build/test-volumes/fat32.img}")
out=${2:-build-windows/screenshots}
exe=build-windows/bin/sarvik-undelete.exe
mkdir -p "$out"
export WINEPREFIX="$root/build-windows/wine" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 1600x1100x24 -nolisten tcp &
xvfb=$!
trap 'kill $xvfb 2>/dev/null || true' EXIT
sleep 1
export DISPLAY=$display

shoot() { # NAME SECONDS PROGRAM-ARGS...
  local name=$1 wait=$2
  shift 2
  wine "$exe" "$@" >/dev/null 2>&1 &
  local program=$!
  sleep "$wait"
  if [ -n "${keys:-}" ]; then # keys pressed before the picture (xdotool's names)
    # shellcheck disable=SC2086 # one word a key
    xdotool key $keys
    sleep 1
  fi
  import -window root "$out/$name.png"
  convert "$out/$name.png" -trim +repage "$out/$name-window.png"
  wait "$program" 2>/dev/null || true
  wineserver --wait || true
}

for scale in 100 200; do
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $((96 * scale / 100)) /f >/dev/null 2>&1
  wineserver --wait || true
  # The drive page: the image opened, the window closed after the picture.
  shoot "drives-$scale" 4 --self-test "Z:$image" --drive-page --hold-ms 6000
  shoot "results-$scale" 5 --self-test "Z:$image" --hold-ms 7000
  shoot "find-$scale" 6 --self-test "Z:$image" --hold-ms 6000 --do "find:*.txt"
  shoot "properties-$scale" 5 --self-test "Z:$image" --hold-ms 6000 --do "properties:Large archive.dat"
  shoot "settings-$scale" 5 --self-test "Z:$image" --hold-ms 6000 --do settings
done
theme='HKCU\Software\Microsoft\Windows\CurrentVersion\Themes\Personalize'
wine reg add "$theme" /v AppsUseLightTheme /t REG_DWORD /d 0 /f >/dev/null 2>&1
wineserver --wait || true
shoot "results-dark" 5 --self-test "Z:$image" --hold-ms 7000
shoot "find-dark" 6 --self-test "Z:$image" --hold-ms 6000 --do "find:*.txt"
keys="Escape alt+v" shoot "menu-dark" 5 --self-test "Z:$image" --hold-ms 8000
wine reg add "$theme" /v AppsUseLightTheme /t REG_DWORD /d 1 /f >/dev/null 2>&1
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
wineserver --kill || true
ls -1 "$out"
