#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is missing, builds Solvari and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/install-deps.sh run
# Only the program: the tests and benchmarks need what tools/test-all.sh installs.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DSOLVARI_BUILD_TESTS=OFF -DSOLVARI_BUILD_BENCH=OFF >/dev/null
cmake --build build -j "$(nproc)" --target Solvari
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Solvari needs a graphical display: no DISPLAY or WAYLAND_DISPLAY is set." >&2
  echo "Run it from a desktop session, or under Xvfb: xvfb-run -s '-screen 0 1024x768x24' bash tools/run.sh" >&2
  exit 1
fi
exec ./build/bin/Solvari "$@"
