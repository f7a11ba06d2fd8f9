#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Cross-compiles the portable parts (core/, render/, res/, audio/ without its
# sound devices) and their unit tests for 64-bit Windows with mingw-w64, and
# runs the tests under Wine. GoogleTest is built from Debian's sources with
# the cross compiler.
#   tools/test-windows.sh [build dir, default build-win]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build-win}
start=$SECONDS
for tool in x86_64-w64-mingw32-g++-posix; do
  command -v "$tool" >/dev/null || { echo "$tool is missing; run tools/install-deps.sh" >&2; exit 1; }
done
[ -x /usr/lib/wine/wine64 ] || command -v wine64 >/dev/null ||
  { echo "wine64 is missing; run tools/install-deps.sh" >&2; exit 1; }

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# Paths in the sources' folder count as relative for ccache: a fresh clone
# elsewhere finds what an earlier build compiled.
export CCACHE_BASEDIR=$PWD
cmake --no-warn-unused-cli -S . -B "$dir" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DSOLVARI_BUILD_APP=OFF -DSOLVARI_BUILD_BENCH=OFF \
  "${launcher[@]}" >/dev/null
cmake --build "$dir" -j "$(nproc)"

# A Wine prefix of the build's own, made once; no display, no sound, no
# messages about either.
export WINEPREFIX=$PWD/$dir/wine-prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=$(command -v wine64)
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  "$wine" wineboot --init >/dev/null 2>&1 || true
fi
built=$SECONDS
ctest --test-dir "$dir" --output-on-failure -j "$(nproc)" --timeout 300
echo "windows: built in $((built - start)) s, tests under Wine in $((SECONDS - built)) s"
