#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks what the packages install with the validators Debian uses: the desktop
# entry, the AppStream metadata, the man pages, the polkit policy and the .debs
# themselves (lintian, hardening included), that the command line's package
# needs no Qt, that packing twice gives the same bytes, then installs into a
# DESTDIR and starts both programs there.
# Reuses the build in build/ (tools/build.sh first).
set -euo pipefail
cd "$(dirname "$0")/.."
id=com.velmora.SarvikUndelete
failed=0
fail() { echo "check-package: $*" >&2; failed=1; }

# project()'s version names the release; the programs and packages carry the
# version git describe gives (the release's, or the release's +gitN.gHASH).
release=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/CMakeCache.txt)
version=$(sed -n 's/^SARVIK_VERSION:INTERNAL=//p' build/CMakeCache.txt)
[ -n "$release" ] && [ -n "$version" ] || { echo "check-package: configure build/ first (tools/build.sh)" >&2; exit 1; }
[[ $version == "$release" || $version == "$release"[+~]* ]] ||
  fail "the version $version (git describe) is not of the release $release (CMakeLists.txt project())"

start=$SECONDS
mapfile -t debs < <(bash tools/package.sh)
echo "check-package: packed in $((SECONDS - start)) s: ${debs[*]}"
[ ${#debs[@]} -eq 2 ] || { echo "check-package: expected two packages, got: ${debs[*]}" >&2; exit 1; }
cli=${debs[0]} desktop=${debs[1]}

# Packed again from the same build, the packages are the same bytes.
sums=$(sha256sum "${debs[@]}")
start=$SECONDS
bash tools/package.sh >/dev/null
[ "$(sha256sum "${debs[@]}")" = "$sums" ] || fail "packing twice gave different packages: $sums"
echo "check-package: packed again in $((SECONDS - start)) s, the same bytes"

# The command line's package needs no Qt; the desktop program's needs the
# command line's of its own version.
for deb in "$cli" "$desktop"; do
  [ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "$deb: version $(dpkg-deb -f "$deb" Version), not $version"
done
[ "$(dpkg-deb -f "$cli" Package)" = sarvik ] || fail "$cli is not the package sarvik"
[ "$(dpkg-deb -f "$desktop" Package)" = sarvik-undelete ] || fail "$desktop is not the package sarvik-undelete"
depends=$(dpkg-deb -f "$cli" Depends)
! grep -qi 'qt\|poppler' <<<"$depends" || fail "$cli depends on Qt: $depends"
[ -n "$depends" ] || fail "$cli depends on nothing (dpkg-shlibdeps did not run)"
grep -q "\(^\|, \)sarvik (= $version)" <<<"$(dpkg-deb -f "$desktop" Depends)" ||
  fail "$desktop does not depend on sarvik (= $version): $(dpkg-deb -f "$desktop" Depends)"

# A staged install, as cpack makes it: the validators check the installed files.
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install build --prefix /usr >/dev/null
usr="$stage/usr/share"

desktop-file-validate "$usr/applications/$id.desktop" || fail "desktop-file-validate: $id.desktop"
appstreamcli validate --no-net "$usr/metainfo/$id.metainfo.xml" >/dev/null ||
  { appstreamcli validate --no-net "$usr/metainfo/$id.metainfo.xml" >&2; fail "appstreamcli: $id.metainfo.xml"; }
for page in "$usr"/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || { echo "$warnings" >&2; fail "man --warnings: $page"; }
done
dtd=/usr/share/polkit-1/policyconfig-1.dtd # from polkitd
xmllint --noout --nonet --dtdvalid "$dtd" "$usr/polkit-1/actions/$id.policy" || fail "xmllint: $id.policy"
grep -q "exec.path\">/usr/bin/sarvik-undelete<" "$usr/polkit-1/actions/$id.policy" ||
  fail "the policy does not name /usr/bin/sarvik-undelete"

# The release stated outside the code agrees with the project's.
for page in docs/man/*.1; do
  grep -q "^\.TH .* \"[a-z-]* $release\"" "$page" || fail "$page: .TH does not name version $release"
done
newest=$(sed -n 's/.*<release version="\([^"]*\)".*/\1/p' "data/$id.metainfo.xml" | head -n1)
[ "$newest" = "$release" ] || fail "metainfo: newest release $newest, project $release"
grep -q "^sarvik ($release)" packaging/changelog || fail "packaging/changelog: no entry for $release"

# The committed PNG icons are renderings of the SVG as it is now.
if command -v rsvg-convert >/dev/null; then
  for size in 48 256; do
    rsvg-convert --width $size --height $size "data/icons/$id.svg" |
      cmp -s - "data/icons/$size/$id.png" || fail "data/icons/$size/$id.png is stale: bash tools/render-icons.sh"
  done
fi

# lintian: errors fail, warnings are shown, and so is any hardening missing
# (an informational tag: -I shows it).
lint=$(lintian -I --tag-display-limit 0 "$cli" "$desktop" 2>&1) || fail "lintian: $cli $desktop"
echo "$lint"
grep -q '^E: ' <<<"$lint" && fail "lintian reports errors"
grep -q 'hardening-no-' <<<"$lint" && fail "lintian: hardening flags missing"

# The hardening lintian does not look for: every object of both programs was
# compiled with the stack-clash probes and control-flow protection (GCC records
# each unit's options in its debug information). The linked programs are not
# checked for the x86 IBT/SHSTK marks: Debian 12's C start-up files carry none,
# so no program linked there has them.
for program in build/bin/sarvik build/bin/sarvik-undelete; do
  [ -f "$program" ] || continue
  producers=$(readelf --debug-dump=info "$program" 2>/dev/null | grep 'DW_AT_producer' | grep 'GNU C' || true)
  [ -n "$producers" ] || { fail "$program: no debug information to read its compile options from"; continue; }
  for flag in -fstack-clash-protection -fcf-protection; do
    without=$(grep -vc -- "$flag" <<<"$producers" || true)
    [ "$without" = 0 ] || fail "$program: $without compile unit(s) built without $flag"
  done
done

# The staged install and the packages hold every file, each in its own package.
check_files() { # DEB FILE...: each FILE (under /usr) installed and in DEB
  local deb=$1 listing f
  shift
  listing=$(dpkg-deb -c "$deb")
  for f in "$@"; do
    [ -f "$stage/usr/$f" ] || fail "not installed: /usr/$f"
    grep -q " \./usr/$f\$" <<<"$listing" || fail "not in $deb: /usr/$f"
  done
}
check_files "$cli" bin/sarvik share/man/man1/sarvik.1.gz share/bash-completion/completions/sarvik \
  share/doc/sarvik/copyright share/doc/sarvik/changelog.gz share/doc/sarvik/guide.md share/doc/sarvik/README.md \
  share/doc/sarvik/command-line.md \
  share/doc/sarvik/snapshot-format.md share/doc/sarvik/schema/scan.schema.json share/doc/sarvik/schema/report-line.schema.json
check_files "$desktop" bin/sarvik-undelete share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
  share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
  share/icons/hicolor/256x256/apps/$id.png share/man/man1/sarvik-undelete.1.gz share/polkit-1/actions/$id.policy \
  share/doc/sarvik-undelete/copyright share/doc/sarvik-undelete/changelog.gz
# Both packages say the programs are free software under GPL-3.0-or-later.
for deb in "$cli" "$desktop"; do
  name=$(dpkg-deb -f "$deb" Package)
  copyright=$(dpkg-deb --fsys-tarfile "$deb" | tar -xOf - "./usr/share/doc/$name/copyright")
  grep -q '^Files: \*$' <<<"$copyright" && grep -A2 '^Files: \*$' <<<"$copyright" | grep -q '^License: GPL-3.0-or-later$' ||
    fail "$deb: its copyright file does not license the programs under GPL-3.0-or-later"
  ! grep -qi 'proprietary\|all rights reserved' <<<"$copyright" || fail "$deb: its copyright file still reserves rights"
done
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$usr/metainfo/$id.metainfo.xml" ||
  fail "metainfo: project_license is not GPL-3.0-or-later"
! grep -q 'sarvik-undelete\|SarvikUndelete' <<<"$(dpkg-deb -c "$cli")" || fail "$cli holds the desktop program's files"
[ "$("$stage/usr/bin/sarvik" --version)" = "sarvik $version" ] || fail "installed sarvik --version"
[ "$(QT_QPA_PLATFORM=offscreen "$stage/usr/bin/sarvik-undelete" --version)" = "sarvik-undelete $version" ] ||
  fail "installed sarvik-undelete --version"

# Bash completion, with the installed sarvik: commands, options, and the
# partitions of a partitioned image as PATH@N.
disk="$stage/disk.img"
truncate -s 8M "$disk"
printf 'label: dos\nstart=2048, size=4096, type=c\nstart=6144, size=8192, type=7\n' | sfdisk -q "$disk"
complete_line() { # LINE [WORDBREAKS]: prints the completions bash would offer at its end
  PATH="$stage/usr/bin:$PATH" bash -c '
    source "$1"; line=$2; COMP_WORDBREAKS=${3:-$COMP_WORDBREAKS}
    read -ra COMP_WORDS <<<"$line"; [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_LINE=$line COMP_POINT=${#line} COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    _sarvik; printf "%s\n" "${COMPREPLY[@]}"' _ "$stage/usr/share/bash-completion/completions/sarvik" "$@" |
    sort | tr '\n' ' '
}
[ "$(complete_line "sarvik re")" = "recover " ] || fail "completion of 'sarvik re': $(complete_line "sarvik re")"
[ "$(complete_line "sarvik recover x --dup")" = "--duplicates " ] || fail "completion of recover options"
[ "$(complete_line "sarvik recover x --duplicates ")" = "overwrite rename skip " ] ||
  fail "completion of --duplicates"
got=$(cd "$stage" && complete_line "sarvik scan disk.img@" " ")
[ "$got" = "disk.img@1 disk.img@2 " ] || fail "completion of PATH@N: '$got'"
got=$(cd "$stage" && complete_line "sarvik info disk.img@" " @")
[ "$got" = "1 2 " ] || fail "completion of PATH@N after a word break at '@': '$got'"

exit $failed
