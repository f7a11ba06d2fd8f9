#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Regenerates every bitmap of the program from code and the Debian IPA Mincho
# font: res/bitmaps/*.bmp, res/solvari.png, res/solvari-48.png,
# data/default.bmp and data/Copyright.bmp. Needs libfreetype-dev and
# fonts-ipafont-mincho. The sutra text is read from res/text/sutra-text.tsv
# unless SOLVARI_SUTRA_TEXT names another file. The readings table of the sutra
# (core/sutra_readings_data.cpp) is written from the same text.
set -euo pipefail
cd "$(dirname "$0")/.."

font=${SOLVARI_MINCHO_FONT:-/usr/share/fonts/opentype/ipafont-mincho/ipam.ttf}
latin=${SOLVARI_LATIN_FONT:-/usr/share/fonts/opentype/ipafont-mincho/ipamp.ttf}
text=${SOLVARI_SUTRA_TEXT:-res/text/sutra-text.tsv}
for f in "$font" "$latin" "$text"; do
  [ -f "$f" ] || { echo "missing $f (fonts-ipafont-mincho, or set SOLVARI_SUTRA_TEXT)" >&2; exit 1; }
done

# The readings of the sutra tables come from the same text.
python3 tools/make_readings.py "$text" core/sutra_readings_data.cpp

build=build-bitmaps
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSOLVARI_BUILD_APP=OFF \
  -DSOLVARI_BUILD_TESTS=OFF -DSOLVARI_BUILD_BENCH=OFF -DSOLVARI_BUILD_BITMAP_TOOL=ON >/dev/null
cmake --build "$build" -j 2 --target solvari_make_bitmaps

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p res/bitmaps data
"$build/bin/solvari_make_bitmaps" --mincho "$font" --latin "$latin" --text "$text" \
  --res res --data data --work "$work"
python3 tools/bitmaps/bmp_to_png.py "$work/icon-256.bmp" res/solvari.png
python3 tools/bitmaps/bmp_to_png.py "$work/icon-48.bmp" res/solvari-48.png
echo "bitmaps written to res/bitmaps, res/solvari*.png and data/"
