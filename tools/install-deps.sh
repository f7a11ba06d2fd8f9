#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian 12 packages Solvari needs; only the missing ones, with
# apt as root or via sudo.
#   tools/install-deps.sh run    what building and running the program need
#   tools/install-deps.sh test   that, and what the tests need: GoogleTest and
#                                Google Benchmark, the sanitizers' runtime, the
#                                end-to-end rig (X server, sound server, screen
#                                and sound tools), the package checks and the
#                                Windows cross build under Wine, and the
#                                browser build with its tests (the default)
#   tools/install-deps.sh web    what building the browser site needs
set -euo pipefail

what=${1:-test}

# The compiler and the build tools, Qt (its translation tools make the English
# interface when building), the sound libraries and the Japanese interface's font.
run_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-image-formats-plugins
  qt6-tools-dev qt6-l10n-tools
  librubberband-dev libpulse-dev libfftw3-dev
  fonts-ipafont-gothic
)
test_packages=(
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  clang libclang-rt-14-dev
  pulseaudio pulseaudio-utils stress-ng
  xvfb xauth xdotool x11-utils imagemagick openbox python3
  fonts-ipafont-mincho sox
  espeak-ng  # the takes of known onsets for the alignment's test (with sox)
  appstream desktop-file-utils man-db mmdebstrap lintian
  dbus
  mingw-w64 wine64
  chromium chromium-driver python3-selenium python3-numpy  # e2e_web.py
)
# The browser build: emscripten (which brings its node modules); python3
# writes the page's English texts.
web_packages=(
  emscripten cmake ninja-build python3
)

case $what in
  run) packages=("${run_packages[@]}") ;;
  test) packages=("${run_packages[@]}" "${test_packages[@]}" "${web_packages[@]}") ;;
  web) packages=("${web_packages[@]}") ;;
  *) echo "usage: $0 [run|test|web]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=
if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
