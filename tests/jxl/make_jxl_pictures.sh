#!/usr/bin/env bash
# Makes the JPEG XL scenario's pictures into OUT with cjxl (libjxl-tools), from pictures
# ImageMagick draws, beside the raw numbers (RGB or RGBA, top row first) each should show:
# lossless.jxl and lossy.jxl from chart.rgb; oriented.jxl from a JPEG of four flat quadrants whose
# EXIF orientation (6) cjxl moves into the codestream (quadrants.rgb: the JPEG's own numbers,
# stored upright); alpha.jxl from alpha.rgba; tagged.jxl, eight patches tagged Adobe RGB, with
# tagged.rgb Little CMS's tificc conversion of them to sRGB; animated.jxl, red then blue. Run by
# ctest before the Wine tests; without a tool it notes which in OUT/missing and makes nothing.
set -uo pipefail
out=$1
rm -rf "$out" && mkdir -p "$out" && cd "$out" || exit 1
icc=/usr/share/color/icc/colord/AdobeRGB1998.icc
for tool in cjxl convert tificc python3 "$icc"; do
  command -v "$tool" >/dev/null || [ -f "$tool" ] || { echo "$tool is missing" | tee missing; exit 0; }
done
set -e
plain=(-depth 8 -define png:exclude-chunks=gAMA,cHRM,sRGB)  # no gamma chunk: cjxl would take gamma 2.2
convert -size 160x8 gradient:'rgb(255,0,80)-rgb(0,90,255)' -size 160x82 xc:'rgb(30,200,90)' -append \
  "${plain[@]}" -type TrueColor -define png:color-type=2 chart.png
convert chart.png rgb:chart.rgb
cjxl chart.png lossless.jxl -d 0 --quiet && cjxl chart.png lossy.jxl -d 1 --quiet
convert \( -size 32x24 xc:'rgb(220,30,30)' xc:'rgb(30,200,40)' +append \) \
  \( -size 32x24 xc:'rgb(30,50,220)' xc:'rgb(240,220,40)' +append \) -append -quality 95 quadrants.jpg
convert quadrants.jpg -depth 8 rgb:quadrants.rgb
python3 -c "
import struct
jpeg = open('quadrants.jpg', 'rb').read()
exif = b'Exif\0\0II*\0' + struct.pack('<IHHHIHHI', 8, 1, 0x0112, 3, 1, 6, 0, 0)  # Orientation 6
open('oriented.jpg', 'wb').write(jpeg[:2] + b'\xff\xe1' + struct.pack('>H', len(exif) + 2) + exif + jpeg[2:])"
cjxl oriented.jpg oriented.jxl --quiet
convert -size 40x60 xc:'rgba(40,60,200,1)' -size 120x60 xc:'rgba(200,40,40,0.5)' +append "${plain[@]}" \
  -define png:color-type=6 alpha.png
convert alpha.png rgba:alpha.rgba
cjxl alpha.png alpha.jxl -d 0 --quiet
convert -size 64x64 xc:'rgb(200,40,40)' xc:'rgb(40,180,60)' xc:'rgb(30,60,210)' xc:'rgb(230,200,40)' +append \
  \( -size 64x64 xc:'rgb(120,120,120)' xc:'rgb(250,250,250)' xc:'rgb(20,20,20)' xc:'rgb(90,200,220)' +append \) \
  -append -depth 8 -type TrueColor -profile "$icc" patches.tif
convert patches.tif -define png:color-type=2 tagged.png
tificc -t 1 patches.tif tagged-srgb.tif >/dev/null && convert tagged-srgb.tif rgb:tagged.rgb
cjxl tagged.png tagged.jxl -d 0 --quiet
convert -delay 50 -size 40x30 xc:red xc:blue -loop 0 animated.gif
cjxl animated.gif animated.jxl -d 0 --quiet
touch complete
