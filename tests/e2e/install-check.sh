#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the built program into a temporary prefix, checks the layout
# (executable and data side by side, the launcher on the PATH, the desktop
# entry and icon) and starts the installed program offscreen for a moment.
#   install-check.sh <build dir>
set -euo pipefail
build=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/solvari-install.XXXXXX")
pid=
cleanup() {
  if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then kill -KILL "$pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >"$work/install.log" || {
  cat "$work/install.log" >&2; fail "cmake --install failed"; }

app=$prefix/lib/solvari
[ -x "$app/Solvari" ] && [ ! -L "$app/Solvari" ] || fail "no executable $app/Solvari"
for f in Title.WAV Copyright.bmp default.bmp Solvari.html Solvari.en.html Mokugyo.SGM Bell.SGM; do
  [ -s "$app/$f" ] || fail "data file $f is not beside the executable"
done
for n in $(seq 0 53); do
  f=$(printf 'V%2.2d.SGM' "$n")
  [ -s "$app/$f" ] || fail "voice file $f is not beside the executable"
done

[ -L "$prefix/bin/Solvari" ] || fail "no launcher $prefix/bin/Solvari"
[ "$(readlink -f "$prefix/bin/Solvari")" = "$(readlink -f "$app/Solvari")" ] ||
  fail "the launcher does not lead to $app/Solvari"
for cmd in solvari-voice solvari-page-png; do
  [ -x "$prefix/bin/$cmd" ] || fail "$cmd is not on the PATH"
done

# Only the commands go on the PATH; the data stays beside the executable.
for f in "$prefix/bin"/*; do
  case $(basename "$f") in
    Solvari|solvari-voice|solvari-page-png) ;;
    *) fail "stray file on the PATH: $f" ;;
  esac
done

desktop=$prefix/share/applications/solvari.desktop
[ -f "$desktop" ] || fail "no desktop entry"
for line in '^\[Desktop Entry\]$' '^Type=Application$' '^Name=Solvari$' '^Name\[ja\]=.' \
            '^Exec=Solvari$' '^Icon=solvari$' '^Categories=.*Education;'; do
  grep -q "$line" "$desktop" || fail "desktop entry lacks $line"
done
[ -s "$prefix/share/metainfo/org.solvari.Solvari.metainfo.xml" ] || fail "no AppStream metainfo"
for page in Solvari solvari-voice solvari-page-png; do
  [ -s "$prefix/share/man/man1/$page.1.gz" ] || fail "no manual page $page.1.gz"
done
for icon in 256x256 48x48; do
  [ -f "$prefix/share/icons/hicolor/$icon/apps/solvari.png" ] || fail "$icon icon not installed"
done

# Start the installed program through the launcher, as the desktop entry
# does, with private settings and no sound server.
mkdir -p "$work/config" "$work/runtime" "$work/cwd"
chmod 700 "$work/runtime"
cd "$work/cwd"
env -u DISPLAY -u WAYLAND_DISPLAY PATH="$prefix/bin:$PATH" QT_QPA_PLATFORM=offscreen \
  XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/runtime" \
  PULSE_SERVER="unix:$work/runtime/no-server" SOLVARI_TRACE="$work/trace.txt" \
  Solvari >"$work/out.log" 2>&1 &
pid=$!
sleep 1.5
if ! kill -0 "$pid" 2>/dev/null; then
  status=0; wait "$pid" || status=$?
  cat "$work/out.log" >&2
  fail "the installed program ended by itself (status $status)"
fi
[ "$(readlink -f "/proc/$pid/exe")" = "$(readlink -f "$app/Solvari")" ] ||
  fail "the running program is not the installed one"
kill -TERM "$pid"
status=0; wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || [ "$status" -eq 143 ] || { cat "$work/out.log" >&2; fail "exit status $status"; }
if [ -s "$work/trace.txt" ]; then
  echo "trace of the installed program:"; head -5 "$work/trace.txt"
fi
echo "installed layout and start-up OK ($prefix)"
