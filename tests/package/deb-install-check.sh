#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the built Debian package for real, with apt and its dependencies,
# into a fresh Debian 12 root, and checks the installation there: the files
# of the package (executable, data, help pages, icons, desktop entry,
# AppStream data, manual pages), the commands, and the program itself started
# offscreen until it has painted its window.
#   deb-install-check.sh <build dir>
# Needs root, mmdebstrap and the package (cpack in the build dir). The base
# root (Debian's "apt" variant with its package lists) and the packages apt
# downloads are kept between runs, also of fresh clones, in
# ~/.cache/solvari/deb-root/ (or $SOLVARI_DEB_CACHE): the first run fetches
# them, about two minutes more. The root itself is made anew from that
# tarball every time. The apt sources are this machine's own.
set -euo pipefail
build=$(cd "$1" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root (chroot, mounts)"
command -v mmdebstrap >/dev/null || fail "mmdebstrap is missing; run tools/install-deps.sh"
deb=$(ls -t "$build"/solvari_*.deb 2>/dev/null | head -1 || true)
[ -n "$deb" ] || fail "no solvari_*.deb in $build (cmake --build $build --target package)"

cache=${SOLVARI_DEB_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/solvari/deb-root}
tarball=$cache/bookworm-apt.tar
mkdir -p "$cache/archives/partial"
start=$SECONDS

sources=()
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
  [ -s "$f" ] && sources+=("$f")
done
[ ${#sources[@]} -gt 0 ] || fail "no apt sources on this machine"
if [ ! -s "$tarball" ]; then
  echo "making the Debian 12 base root (kept in $tarball)"
  mmdebstrap --quiet --format=tar --variant=apt --skip=cleanup/apt/lists bookworm "$tarball.part.$$" \
    "${sources[@]}" || fail "mmdebstrap failed"
  mv "$tarball.part.$$" "$tarball"
fi

root=$(mktemp -d "${TMPDIR:-/tmp}/solvari-debroot.XXXXXX")
mounts=()
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  local i
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount -l "${mounts[i]}" 2>/dev/null || true; done
  rmdir "$root" 2>/dev/null || rm -rf --one-file-system "$root"
}
trap cleanup EXIT
# The root lives in memory: quick to fill, gone at once afterwards.
mount -t tmpfs -o size=4g,mode=755 solvari-debroot "$root" && mounts+=("$root")
tar -C "$root" -xf "$tarball"
# dpkg need not sync a root that is thrown away, nor unpack documentation.
cat >"$root/etc/dpkg/dpkg.cfg.d/solvari-test" <<'CFG'
force-unsafe-io
path-exclude=/usr/share/doc/*
path-exclude=/usr/share/locale/*
CFG
mount -t proc proc "$root/proc" && mounts+=("$root/proc")
mount --bind /dev "$root/dev" && mounts+=("$root/dev")
mount --bind "$cache/archives" "$root/var/cache/apt/archives" && mounts+=("$root/var/cache/apt/archives")
cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
cp "$deb" "$root/tmp/"
in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 "$@"; }

name=$(basename "$deb")
export DEBIAN_FRONTEND=noninteractive
install() {
  in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
    "/tmp/$name" >"$root/tmp/apt.log" 2>&1
}
if ! install; then
  # The kept package lists may be older than the archive: fetch them anew.
  in_root apt-get update -q >"$root/tmp/update.log" 2>&1 || { cat "$root/tmp/update.log" >&2; fail "apt-get update"; }
  install || { tail -30 "$root/tmp/apt.log" >&2; fail "apt-get install ./$name"; }
fi
in_root dpkg-query -W -f='${Status}\n' solvari | grep -q 'install ok installed' ||
  fail "the package is not installed"
echo "installed $name with apt ($(grep -c '^Unpacking' "$root/tmp/apt.log") packages unpacked)"

# The files, where the desktop and the manual look for them.
need() { [ -s "$root$1" ] || fail "missing $1"; }
app=/usr/lib/solvari
[ -x "$root$app/Solvari" ] || fail "no executable $app/Solvari"
[ "$(readlink -f "$root/usr/bin/Solvari")" = "$root$app/Solvari" ] || fail "/usr/bin/Solvari does not lead to $app/Solvari"
for f in Title.WAV Copyright.bmp default.bmp Solvari.html Solvari.en.html V00.SGM V53.SGM Mokugyo.SGM Bell.SGM; do need "$app/$f"; done
grep -q '<html lang="ja">' "$root$app/Solvari.html" || fail "Solvari.html is not the Japanese help"
grep -q '<html lang="en">' "$root$app/Solvari.en.html" || fail "Solvari.en.html is not the English help"
need /usr/share/applications/solvari.desktop
need /usr/share/icons/hicolor/256x256/apps/solvari.png
need /usr/share/icons/hicolor/48x48/apps/solvari.png
need /usr/share/pixmaps/solvari.png
need /usr/share/metainfo/org.solvari.Solvari.metainfo.xml
grep -q '<launchable type="desktop-id">solvari.desktop</launchable>' \
  "$root/usr/share/metainfo/org.solvari.Solvari.metainfo.xml" || fail "metainfo names no launchable"
for cmd in Solvari solvari-voice solvari-page-png; do
  page=/usr/share/man/man1/$cmd.1.gz
  need "$page"
  [ -x "$root/usr/bin/$cmd" ] || fail "$cmd is not on the PATH"
  gzip -dc "$root$page" | grep -qi "^\.TH $cmd 1" || fail "$page is not the manual page of $cmd"
done

# The commands run with what apt brought.
in_root solvari-voice --help >/dev/null || fail "solvari-voice --help"
in_root solvari-page-png /tmp/page.png 2 3 || fail "solvari-page-png"
[ "$(head -c 4 "$root/tmp/page.png" | od -An -c | tr -d ' ')" = '211PNG' ] || fail "no PNG from solvari-page-png"

# The program, offscreen, in English and in Japanese, until its first paint.
for lang in en_US.UTF-8 ja_JP.UTF-8; do
  rm -f "$root/tmp/trace.txt"
  mkdir -p "$root/tmp/home" "$root/tmp/run" && chmod 700 "$root/tmp/run"
  chroot "$root" env -i PATH=/usr/bin:/bin HOME=/tmp/home XDG_RUNTIME_DIR=/tmp/run LANG=$lang \
    QT_QPA_PLATFORM=offscreen PULSE_SERVER=unix:/tmp/run/no-server SOLVARI_TRACE=/tmp/trace.txt \
    /usr/bin/Solvari >"$root/tmp/out.log" 2>&1 &
  pid=$!
  for _ in $(seq 100); do
    grep -q first-paint "$root/tmp/trace.txt" 2>/dev/null && break
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -0 "$pid" 2>/dev/null || { cat "$root/tmp/out.log" >&2; fail "the installed program ended by itself ($lang)"; }
  grep -q first-paint "$root/tmp/trace.txt" || { cat "$root/tmp/out.log" >&2; fail "no first paint ($lang)"; }
  grep -q "language-${lang%%_*}" "$root/tmp/trace.txt" || fail "the interface is not in ${lang%%_*} under LANG=$lang"
  kill -TERM "$pid"
  status=0; wait "$pid" || status=$?
  pid=
  [ "$status" -eq 0 ] || [ "$status" -eq 143 ] || { cat "$root/tmp/out.log" >&2; fail "exit status $status ($lang)"; }
done
echo "package installed and checked in a fresh Debian 12 root in $((SECONDS - start)) s"
