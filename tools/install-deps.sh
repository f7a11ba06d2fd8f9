#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test Solvari.
# Only packages that are missing are installed; runs apt as root or via sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-qpa-plugins qt6-image-formats-plugins
  libgtest-dev libgmock-dev libbenchmark-dev
  librubberband-dev
  libfftw3-dev
  clang libclang-rt-14-dev
  pulseaudio pulseaudio-utils libpulse-dev stress-ng
  xvfb xauth xdotool x11-utils imagemagick openbox python3
  fonts-ipafont-gothic fonts-ipafont-mincho
  sox
  espeak-ng  # the takes of known onsets for the alignment's test (with sox)
  qt6-tools-dev qt6-l10n-tools
  appstream desktop-file-utils man-db mmdebstrap lintian
  dbus
  mingw-w64 wine64 googletest
)

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
