#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the licence of the built Debian package: it carries its copyright
# file where Debian wants it, the same as cmake/copyright, naming the
# program's licence and the terms of each kind of data; and lintian raises no
# error about it.
#   copyright-check.sh <build dir>
set -euo pipefail
build=$(cd "$1" && pwd)
src=$(cd "$(dirname "$0")/../.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
command -v lintian >/dev/null || fail "lintian is missing; run tools/install-deps.sh"
deb=$(ls -t "$build"/solvari_*.deb 2>/dev/null | head -1 || true)
[ -n "$deb" ] || fail "no solvari_*.deb in $build (cmake --build $build --target package)"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work/root"
copyright=$work/root/usr/share/doc/solvari/copyright
[ -s "$copyright" ] || fail "the package has no /usr/share/doc/solvari/copyright"
cmp -s "$copyright" "$src/cmake/copyright" || fail "the package's copyright file is not cmake/copyright"
head -1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not in Debian's machine-readable format"

# Every licence a Files paragraph names has its own paragraph with its text.
while read -r name; do
  grep -qx "License: $name" "$copyright" || fail "licence $name has no paragraph of its own"
done < <(awk '/^Files:/ { f = 1 } /^$/ { f = 0 } f && /^License:/ { print $2 }' "$copyright" | sort -u)
grep -q '^Files: \*$' "$copyright" || fail "no paragraph for the program's own files"
# The program, and each kind of data with its terms.
for pattern in 'res/bitmaps/\*\.bmp.*' 'data/V\*\.SGM' 'data/Title\.WAV.*'; do
  grep -q "^Files: $pattern" "$copyright" || fail "the copyright file does not name $pattern"
done
awk '/^Files: res\/bitmaps\/\*\.bmp/ { f = 1 } /^$/ { f = 0 } f' "$copyright" | grep -qx 'License: IPA-1' ||
  fail "the glyph bitmaps are not under the IPA font licence"
awk '/^Files: data\/V\*\.SGM/ { f = 1 } /^$/ { f = 0 } f' "$copyright" | grep -qx 'License: GPL-3+' ||
  fail "the voice is not under the GPL"
grep -q '/usr/share/common-licenses/GPL-3' "$copyright" || fail "the GPL paragraph does not point at its text"
cmp -s "$src/LICENSE" /usr/share/common-licenses/GPL-3 || fail "LICENSE is not the GPL, version 3"

# The AppStream data of the package says the same.
meta=$work/root/usr/share/metainfo/org.solvari.Solvari.metainfo.xml
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$meta" ||
  fail "the metainfo's project_license is not GPL-3.0-or-later"

# lintian: no error about the copyright file or the licence.
out=$(lintian --no-cfg "$deb" 2>&1 || true)
errors=$(grep -E '^E: ' <<<"$out" | grep -Ei 'copyright|licen[cs]e|dep5' || true)
[ -z "$errors" ] || fail "lintian: $errors"
echo "copyright file and licence of $(basename "$deb") checked; lintian raises no error about them"
