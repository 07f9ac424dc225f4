#!/usr/bin/env bash
# Makes the bundled sample folder samples/: small pictures of every kind the viewer
# decodes, named so that natural ordering shows (2.jpg before 10.jpg), plus a text file
# that the viewer must not list. Needs ImageMagick 6, python3 and the DejaVu fonts
# (Debian packages imagemagick, python3, fonts-dejavu-core). The files are committed;
# run this only to make them again.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/samples
im=/usr/bin/convert
[ -x "$im" ] || im=convert
font=/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf
[ -f "$font" ] || { echo "missing font $font (apt-get install fonts-dejavu-core)" >&2; exit 1; }
mkdir -p "$out"
rm -f "$out"/*
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A labelled landscape card: gradient, a frame and a big number, so each file is told apart.
card() {  # card OUT WIDTH HEIGHT FROM TO LABEL
  "$im" -size "$3x$2" "gradient:$4-$5" -rotate 90 \
    -fill none -stroke white -strokewidth 6 -draw "rectangle 10,10 $(($2 - 11)),$(($3 - 11))" \
    -stroke none -fill white -font "$font" -pointsize $(($3 / 2)) -gravity center -annotate +0+0 "$6" \
    "$1"
}

card "$work/1.png" 400 300 '#1b4f8a' '#6fb3e0' '1'
"$im" "$work/1.png" -strip -quality 90 "$out/1.jpg"

card "$work/10.png" 480 270 '#7a2d12' '#f0a050' '10'
"$im" "$work/10.png" -strip -quality 90 "$out/10.jpg"

# 2.jpg carries EXIF orientation 6 (turn 90 degrees clockwise to show). The upright picture is
# a portrait arrow with "UP" under it; the file holds it turned a quarter counter-clockwise,
# so a viewer that ignores the tag shows the arrow pointing left.
"$im" -size 240x360 xc:'#f4f1e8' \
  -fill '#1f7a3a' -draw 'polygon 120,30 200,140 150,140 150,250 90,250 90,140 40,140' \
  -fill '#202020' -font "$font" -pointsize 64 -gravity south -annotate +0+20 'UP' \
  "$work/2-upright.png"
"$im" "$work/2-upright.png" -rotate -90 -strip -quality 90 "$work/2-stored.jpg"
python3 - "$work/2-stored.jpg" "$out/2.jpg" <<'PY'
import struct, sys
src, dst = sys.argv[1], sys.argv[2]
data = open(src, "rb").read()
assert data[:2] == b"\xff\xd8", "not a JPEG"
# Big-endian TIFF header, one IFD with one entry: Orientation (0x0112), SHORT, count 1, value 6.
tiff = b"MM\x00\x2a" + struct.pack(">I", 8)
tiff += struct.pack(">H", 1) + struct.pack(">HHIHH", 0x0112, 3, 1, 6, 0) + struct.pack(">I", 0)
payload = b"Exif\x00\x00" + tiff
app1 = b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload
open(dst, "wb").write(data[:2] + app1 + data[2:])
PY

# A PNG with real transparency: a soft-edged disc with a half-transparent band over it.
"$im" -size 320x240 xc:none \
  -fill '#e03c31' -draw 'circle 160,120 160,20' \
  -fill '#2050c0' -draw 'roundrectangle 30,90 290,150 20,20' \
  -channel A -fx 'a*(j<120 ? 1 : 0.5)' +channel \
  -blur 0x1 "PNG32:$out/3-alpha.png"

# A palette GIF of eight flat colours: stripes and a checker corner.
"$im" -size 300x200 xc:white \
  -fill '#ff0000' -draw 'rectangle 0,0 49,199' -fill '#ff9900' -draw 'rectangle 50,0 99,199' \
  -fill '#ffee00' -draw 'rectangle 100,0 149,199' -fill '#00aa00' -draw 'rectangle 150,0 199,199' \
  -fill '#0066ff' -draw 'rectangle 200,0 249,199' -fill '#8800cc' -draw 'rectangle 250,0 299,199' \
  -fill black -draw 'rectangle 0,150 299,199' \
  +dither -colors 8 "$out/4-palette.gif"

# A plain 24-bit BMP and an LZW TIFF.
card "$work/5.png" 360 240 '#2d6a4f' '#95d5b2' '5'
"$im" "$work/5.png" -type TrueColor "BMP3:$out/5.bmp"
card "$work/6.png" 300 300 '#5a189a' '#e0aaff' '6'
"$im" "$work/6.png" -alpha off -depth 8 -compress lzw "$out/6.tif"

cat > "$out/readme.txt" <<'TXT'
Sample pictures for Vistrel. This text file is not an image and is not listed by the viewer.
2.jpg carries EXIF orientation 6: the viewer shows its arrow pointing up.
3-alpha.png has transparent and half-transparent parts; 4-palette.gif is a palette image.
TXT
ls -l "$out"
