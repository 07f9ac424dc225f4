#!/usr/bin/env bash
# Makes the JPEG XL scenario's pictures into OUT with Debian's cjxl (libjxl-tools), from pictures
# ImageMagick draws, each beside the raw numbers (8-bit RGB or RGBA, top row first) it should
# show as:
#   lossless.jxl, lossy.jxl    chart.png (a flat field under a band of gradients), -d 0 and -d 1;
#                              chart.rgb its numbers
#   oriented.jxl               a JPEG of four flat quadrants whose EXIF orientation is 6, which
#                              cjxl writes into the codestream; quadrants.rgb the JPEG's own numbers
#                              as ImageMagick decodes them, upright as stored
#   alpha.jxl                  an RGBA picture, an opaque strip beside a half-transparent field;
#                              alpha.rgba its numbers
#   tagged.jxl                 eight flat patches tagged Adobe RGB (1998), lossless; tagged.rgb
#                              Little CMS's own conversion of them to sRGB (tificc, relative
#                              colorimetric)
#   animated.jxl               two frames, red then blue
# Run by ctest before the Wine tests. Without cjxl, ImageMagick, tificc or the profile it makes
# nothing but a note, and the scenario says it skips.
set -uo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out"
icc=/usr/share/color/icc/colord/AdobeRGB1998.icc
for tool in cjxl convert tificc python3; do
  if ! command -v "$tool" >/dev/null; then
    echo "$tool is not installed" >"$out/missing"
    echo "jxl pictures: $tool missing; none made"
    exit 0
  fi
done
[ -f "$icc" ] || { echo "$icc is missing" >"$out/missing"; echo "jxl pictures: no $icc"; exit 0; }
set -e
cd "$out"
encode() { cjxl "$@" --quiet >/dev/null 2>&1 || cjxl "$@" >/dev/null 2>&1; }

convert -size 160x8 gradient:'rgb(255,0,80)-rgb(0,90,255)' \( -size 160x82 xc:'rgb(30,200,90)' \) -append \
  -depth 8 -type TrueColor -define png:color-type=2 -define png:exclude-chunks=gAMA,cHRM,sRGB chart.png
convert chart.png -depth 8 rgb:chart.rgb
encode chart.png lossless.jxl -d 0
encode chart.png lossy.jxl -d 1

# 64 x 48, stored upright; orientation 6 shows it turned a quarter clockwise (48 x 64).
convert \( -size 32x24 xc:'rgb(220,30,30)' xc:'rgb(30,200,40)' +append \) \
  \( -size 32x24 xc:'rgb(30,50,220)' xc:'rgb(240,220,40)' +append \) -append -quality 95 quadrants.jpg
convert quadrants.jpg -depth 8 rgb:quadrants.rgb
python3 - <<'PY'
import struct
jpeg = open('quadrants.jpg', 'rb').read()
# A little-endian TIFF block with one entry: Orientation (0x0112), SHORT, 6.
tiff = b'II*\x00' + struct.pack('<IH', 8, 1) + struct.pack('<HHIHH', 0x0112, 3, 1, 6, 0) + struct.pack('<I', 0)
app1 = b'Exif\x00\x00' + tiff
open('oriented.jpg', 'wb').write(jpeg[:2] + b'\xff\xe1' + struct.pack('>H', len(app1) + 2) + app1 + jpeg[2:])
PY
encode oriented.jpg oriented.jxl

convert -size 40x60 xc:'rgba(40,60,200,1)' \( -size 120x60 xc:'rgba(200,40,40,0.5)' \) +append \
  -depth 8 -define png:color-type=6 -define png:exclude-chunks=gAMA,cHRM,sRGB alpha.png
convert alpha.png -depth 8 rgba:alpha.rgba
encode alpha.png alpha.jxl -d 0

convert -size 64x64 xc:'rgb(200,40,40)' xc:'rgb(40,180,60)' xc:'rgb(30,60,210)' xc:'rgb(230,200,40)' +append \
  \( -size 64x64 xc:'rgb(120,120,120)' xc:'rgb(250,250,250)' xc:'rgb(20,20,20)' xc:'rgb(90,200,220)' +append \) \
  -append -depth 8 -type TrueColor patches.png
convert patches.png -profile "$icc" -define png:color-type=2 tagged.png
convert patches.png -profile "$icc" -type TrueColor -compress none tagged.tif
tificc -t 1 tagged.tif tagged-srgb.tif >/dev/null 2>&1
convert tagged-srgb.tif -depth 8 rgb:tagged.rgb
encode tagged.png tagged.jxl -d 0

convert -delay 50 -size 40x30 xc:red xc:blue -loop 0 animated.gif
encode animated.gif animated.jxl -d 0
touch complete
