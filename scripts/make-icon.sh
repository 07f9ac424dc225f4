#!/usr/bin/env bash
# Draws the application icon resources/vistrel.ico: a rounded picture frame holding
# a sky, a sun and two mountains, at 16, 24, 32, 48, 64 and 256 pixels.
# Needs ImageMagick 6 (Debian package imagemagick). Run from anywhere.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
im=/usr/bin/convert
[ -x "$im" ] || im=convert
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# One master drawing at 256 px; the small sizes are scaled from it, then sharpened a little
# so the frame edge stays visible at 16 px.
"$im" -size 256x256 xc:none \
  -fill '#1d3c6e' -draw 'roundrectangle 8,20 248,236 28,28' \
  -fill '#8fd0ff' -draw 'roundrectangle 26,38 230,218 14,14' \
  -fill '#ffcc22' -draw 'circle 176,86 176,112' \
  -fill '#2f8f46' -draw 'polygon 26,218 96,104 166,218' \
  -fill '#3fae5a' -draw 'polygon 104,218 170,140 230,200 230,218' \
  -fill '#ffffff' -draw 'polygon 96,104 80,130 90,124 96,132 104,124 112,130' \
  "$work/master.png"

sizes=(16 24 32 48 64 256)
files=()
for s in "${sizes[@]}"; do
  if [ "$s" -eq 256 ]; then
    cp "$work/master.png" "$work/$s.png"
  else
    "$im" "$work/master.png" -filter Lanczos -resize "${s}x${s}" -unsharp 0x0.6 "$work/$s.png"
  fi
  files+=("$work/$s.png")
done
# ImageMagick stores the 256 px entry PNG-compressed (keeps the file small); the others stay bitmaps.
"$im" "${files[@]}" -depth 8 "$root/resources/vistrel.ico"
echo "wrote $root/resources/vistrel.ico"
