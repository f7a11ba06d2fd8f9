#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# solvari-page-png over a picture of every format the program shows as its
# background: a PNG, GIF, TIFF, lossless WebP or JPEG goes through the
# program's decoder and gives, pixel for pixel, the page over the same
# picture written as a 24-bit .bmp file (which the program reads itself).
# The pictures are made with ImageMagick; a page over the tile must differ.
# Usage: page_png_formats.sh PATH/TO/solvari-page-png
set -eu
tool=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir"

# A gradient with shapes: crop, stretch, flips and colour order all show.
convert -size 800x600 gradient:navy-orange -fill white -draw "rectangle 100,100 300,250" \
  -fill red -draw "circle 600,300 650,380" -fill '#00ff40' -draw "rectangle 0,0 40,599" src.png
"$tool" tile.png 0 0
fail=0
for ext in png gif tiff webp jpg; do
  extra=""
  [ "$ext" = webp ] && extra="-define webp:lossless=true"
  # shellcheck disable=SC2086
  convert src.png -alpha off $extra "pic.$ext"
  # The decoded picture as the program's own reader takes it.
  convert "pic.$ext" -alpha off -type TrueColor "BMP3:ref.bmp"
  for scale in 1 2; do
    "$tool" "page.$ext.png" --scale "$scale" 3 1 "pic.$ext"
    "$tool" "ref.$ext.png" --scale "$scale" 3 1 ref.bmp
    if ! cmp -s "page.$ext.png" "ref.$ext.png"; then
      echo "FAIL: the page over .$ext at scale $scale is not the page over its .bmp" >&2
      fail=1
    fi
  done
  if cmp -s "page.$ext.png" tile.png; then
    echo "FAIL: the page over .$ext shows the tile" >&2
    fail=1
  fi
done
# Not a picture: refused, as the program refuses it.
printf 'not a picture' > junk.png
if "$tool" junk.out.png 0 0 junk.png 2>/dev/null; then
  echo "FAIL: a file that is no picture was painted" >&2
  fail=1
fi
[ "$fail" = 0 ] && echo "page-png: every format painted as its .bmp"
exit "$fail"
