#!/usr/bin/env bash
# Makes the AVIF scenario's pictures into OUT with avifenc (Debian's libavif-bin) from pictures drawn
# by ImageMagick: upright (lossless 8-bit, a marker in its top-left corner), deep (10-bit, one
# flat colour), turned (lossless quadrants with irot 1 and imir 0), alpha (lossless, half
# transparent), icc (lossless, tagged with a free wide-gamut profile, with its reference converted
# to sRGB by Little CMS's tificc in icc-expected.txt as "R G B"), and cut (the upright file's first
# 300 bytes). Without avifenc, ImageMagick, tificc or the profile it makes nothing, and the scenario
# says it skips.
set -uo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out"
icc=/usr/share/color/icc/colord/AdobeRGB1998.icc
if ! command -v avifenc >/dev/null || ! command -v convert >/dev/null || ! command -v tificc >/dev/null ||
   [ ! -f "$icc" ]; then
  echo "AVIF pictures: avifenc (libavif-bin), ImageMagick, tificc or colord-data missing; none made"
  exit 0
fi
set -e
cd "$out"
enc() { avifenc -s 8 -j 1 "$@" >/dev/null; }
convert -size 160x90 xc:'rgb(30,200,90)' -fill 'rgb(230,200,40)' -draw 'rectangle 0,0 39,29' \
  -depth 8 -type TrueColor upright.png
enc -l upright.png upright.avif
convert -size 96x64 xc:'rgb(100,150,200)' -depth 16 deep.png
enc -d 10 -y 444 --min 0 --max 4 deep.png deep.avif
convert \( -size 60x40 xc:'rgb(220,30,30)' xc:'rgb(30,200,60)' +append \) \
  \( -size 60x40 xc:'rgb(40,60,220)' xc:'rgb(240,220,40)' +append \) -append -depth 8 -type TrueColor quadrants.png
enc -l --irot 1 --imir 0 quadrants.png turned.avif
convert -size 100x60 xc:'rgba(200,40,40,0.5)' -depth 8 alpha.png
enc -l alpha.png alpha.avif
convert -size 64x48 xc:'rgb(90,200,220)' -depth 8 -type TrueColor flat.png
convert flat.png -profile "$icc" -type TrueColor flat-icc.png
enc -l flat-icc.png icc.avif
convert flat.png -profile "$icc" -type TrueColor -compress none flat-icc.tif
tificc -t 1 flat-icc.tif icc-reference.tif >/dev/null 2>&1
convert icc-reference.tif -depth 8 -format '%[fx:round(255*p{32,24}.r)] %[fx:round(255*p{32,24}.g)] %[fx:round(255*p{32,24}.b)]' \
  info: >icc-expected.txt
head -c 300 upright.avif >cut.avif
touch complete
