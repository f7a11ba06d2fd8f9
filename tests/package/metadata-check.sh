#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Validates the AppStream metainfo (appstreamcli, offline), the desktop entry
# (desktop-file-validate, which must print nothing) and the manual pages
# (man's own warnings, which must be none), and that the metainfo's
# screenshots are pictures of the repository.
#   metadata-check.sh <folder of the configured install files> <man page folder>
set -euo pipefail
install=$1
man=$2
docs=$(cd "$man/.." && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
for tool in appstreamcli desktop-file-validate man; do
  command -v "$tool" >/dev/null || fail "$tool is missing; run tools/install-deps.sh"
done
meta=$install/org.solvari.Solvari.metainfo.xml
desktop=$install/solvari.desktop

# As installed (without a home page: no url, no screenshots), and as it is
# written for a home page, with its screenshots.
with_homepage=$install/check/org.solvari.Solvari.metainfo.xml
for m in "$meta" "$with_homepage"; do
  appstreamcli validate --no-net --explain "$m" || fail "appstreamcli validate --no-net $m"
done
! grep -q 'solvari.invalid\|@[A-Z_]*@' "$meta" || fail "$meta names the test's home page or a placeholder"
grep -q '<release version=' "$meta" || fail "the metainfo has no release"
grep -q '<project_license>GPL-3.0-or-later</project_license>' "$meta" ||
  fail "the metainfo's project_license is not the program's licence, GPL-3.0-or-later"
meta=$with_homepage
out=$(desktop-file-validate "$desktop" 2>&1) || true
[ -z "$out" ] || fail "desktop-file-validate: $out"

# Every screenshot is a picture in docs/, under the same name.
n=0
while read -r url; do
  f=$docs/$(basename "$url")
  [ -s "$f" ] || fail "screenshot $url has no docs/$(basename "$url")"
  [ "$(head -c 4 "$f" | od -An -c | tr -d ' ')" = '211PNG' ] || fail "$f is not a PNG"
  n=$((n + 1))
done < <(sed -n 's|.*<image>\(.*\)</image>.*|\1|p' "$meta")
[ "$n" -ge 1 ] || fail "the metainfo has no screenshots"

for page in "$man"/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || true
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
  LC_ALL=C.UTF-8 MANWIDTH=80 man -E UTF-8 -l "$page" 2>/dev/null | grep -q '^NAME' ||
    fail "$(basename "$page") does not render"
done
echo "metainfo, desktop entry and $(ls "$man"/*.1 | wc -l) manual pages valid"
