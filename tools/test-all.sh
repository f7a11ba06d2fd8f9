#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Solvari for the browser and twice for this
# machine (plain, and with AddressSanitizer + UndefinedBehaviorSanitizer) and
# runs every test in both, the browser's with the plain build's.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh test

jobs=$(nproc)
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

build_and_test() {
  local dir=$1; shift
  cmake -S . -B "$dir" -G Ninja "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs" --timeout 600
}

echo "== browser build (emscripten)"
# First: the plain build's tests open it in chromium.
bash tools/web.sh
echo "== plain build"
# The tests named on: the same folder may have been configured by tools/run.sh
# without them.
build_and_test build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSOLVARI_BUILD_TESTS=ON -DSOLVARI_BUILD_BENCH=ON
echo "== Debian package, installed with apt in a fresh Debian 12 root"
if [ "$(id -u)" -eq 0 ]; then
  cmake --build build --target package >/dev/null
  bash tests/package/copyright-check.sh build
  bash tests/package/deb-install-check.sh build
else
  echo "skipped: installing into a chroot needs root"
fi
echo "== Windows build (mingw-w64), its tests under Wine"
bash tools/test-windows.sh build-win
echo "== sanitizer build (ASan + UBSan)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/lsan.supp}
build_and_test build-asan -DCMAKE_BUILD_TYPE=Debug -DSOLVARI_SANITIZE=ON -DSOLVARI_BUILD_BENCH=OFF
