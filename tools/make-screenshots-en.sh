#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Takes the README's screenshots of the English interface from the built
# program (tools/make_screenshots_en.py) inside the test rig's private X
# server with its window manager.
#   tools/make-screenshots-en.sh [build dir, default build]
# Writes docs/screen-overview-en.png and docs/screen-practice-menu-en.png.
# The recording window's is made by its test:
#   LANG=en_US.UTF-8 SOLVARI_SCREENSHOT=docs/record-window-en.png \
#     build/bin/app_record_tests screenshot
set -euo pipefail
cd "$(dirname "$0")/.."
bin=$(cd "${1:-build}/bin" && pwd)
exec python3 tests/e2e/rig.py --x --wm -- python3 tools/make_screenshots_en.py "$bin"
