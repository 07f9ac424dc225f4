#!/usr/bin/env bash
# Makes the HEIF scenario's pictures into OUT with Debian's heif-enc (libheif-examples) from
# pictures ImageMagick draws: four flat quadrants upright (upright.heic), the same stored turned a
# quarter to the left with an EXIF orientation 6 and, patched into its boxes, an irot property
# that turns it back (turned.heic: heif-enc 1.15 writes no irot), half-transparent red beside
# opaque green (alpha.heic), flat patches tagged Adobe RGB (icc.heic, with Little CMS's tificc
# reference in icc-reference.tif), the same numbers named Display P3 by an nclx box patched in
# (nclx.heic, its reference computed from the primaries), a 10-bit picture (deep.heic), and a copy of the
# first whose ispe boxes promise 30000 x 30000 (huge.heic). Without heif-enc, ImageMagick or tificc it
# makes nothing, and the scenario says it skips.
set -uo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out"
icc=/usr/share/color/icc/colord
if ! command -v heif-enc >/dev/null || ! command -v convert >/dev/null || ! command -v tificc >/dev/null ||
   [ ! -f "$icc/AdobeRGB1998.icc" ]; then
  echo "HEIF pictures: heif-enc (libheif-examples), ImageMagick, tificc or colord-data missing; none made"
  exit 0
fi
set -e
# heif-enc reads palette PNGs wrongly: every input is written as 8-bit truecolour.
png24() { convert "${@:1:$#-1}" -depth 8 -type TrueColor -define png:color-type=2 "${@: -1}"; }
lossless=(-L -p chroma=444)

png24 -size 48x32 xc:'rgb(200,40,40)' xc:'rgb(40,180,60)' +append \
  \( -size 48x32 xc:'rgb(30,60,210)' xc:'rgb(230,200,40)' +append \) -append "$out/quad.png"
heif-enc "${lossless[@]}" "$out/quad.png" -o "$out/upright.heic" >/dev/null

# Stored a quarter turn to the left, as a camera held upright would store it, with the EXIF
# orientation (6) that says so; the irot added below (three quarters to the left) is what turns it.
convert "$out/quad.png" -rotate -90 -quality 100 -sampling-factor 1x1 "$out/stored.jpg"
python3 - "$out/stored.jpg" "$out/exif6.jpg" <<'PY'
import struct, sys
jpeg = open(sys.argv[1], 'rb').read()
tiff = b'MM\x00\x2a' + struct.pack('>IH', 8, 1) + struct.pack('>HHIHH', 0x0112, 3, 1, 6, 0) + struct.pack('>I', 0)
payload = b'Exif\x00\x00' + tiff
open(sys.argv[2], 'wb').write(jpeg[:2] + b'\xff\xe1' + struct.pack('>H', len(payload) + 2) + payload + jpeg[2:])
PY
heif-enc "${lossless[@]}" "$out/exif6.jpg" -o "$out/exif6.heic" >/dev/null
python3 "$(dirname "$0")/add_property.py" "$out/exif6.heic" "$out/turned.heic" irot 03

convert -size 48x64 xc:'rgba(255,0,0,0.5)' xc:'rgba(0,160,0,1)' +append -depth 8 PNG32:"$out/alpha.png"
heif-enc "${lossless[@]}" "$out/alpha.png" -o "$out/alpha.heic" >/dev/null

# Untagged numbers assigned the Adobe RGB profile, and their sRGB reference by Little CMS.
png24 -size 64x64 xc:'rgb(40,180,60)' "$out/patch.png"
png24 "$out/patch.png" -profile "$icc/AdobeRGB1998.icc" "$out/patch-adobe.png"
heif-enc "${lossless[@]}" "$out/patch-adobe.png" -o "$out/icc.heic" >/dev/null
convert "$out/patch.png" -profile "$icc/AdobeRGB1998.icc" -type TrueColor -compress none "$out/patch-adobe.tif"
tificc -t 1 "$out/patch-adobe.tif" "$out/icc-reference.tif" >/dev/null 2>&1
convert "$out/icc-reference.tif" -depth 8 -format '%[fx:int(255*p{32,32}.r+0.5)] %[fx:int(255*p{32,32}.g+0.5)] %[fx:int(255*p{32,32}.b+0.5)]' info: > "$out/icc-reference.txt"

# The same numbers named Display P3 by an nclx colour box (primaries 12, sRGB curve, BT.601 matrix
# and full range as heif-enc coded them), and their sRGB reference: linear light through the
# matrix that the two sets of primaries (both D65) make, relative colorimetric, clipped.
heif-enc "${lossless[@]}" "$out/patch.png" -o "$out/patch.heic" >/dev/null
python3 "$(dirname "$0")/add_property.py" "$out/patch.heic" "$out/nclx.heic" colr 6e636c78000c000d000680
python3 - > "$out/nclx-reference.txt" <<'PY'
det = lambda m: (m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) - m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0])
                 + m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]))
solve = lambda m, v: [det([[v[r] if c == k else m[r][c] for c in range(3)] for r in range(3)]) / det(m) for k in range(3)]
def to_xyz(primaries):  # RGB to XYZ for these primaries and a D65 white
    m = [[x / y for x, y in primaries], [1.0] * 3, [(1 - x - y) / y for x, y in primaries]]
    s = solve(m, [0.3127 / 0.3290, 1.0, 0.3583 / 0.3290])
    return [[m[r][c] * s[c] for c in range(3)] for r in range(3)]
lin = lambda v: v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4
enc = lambda v: 12.92 * v if v <= 0.0031308 else 1.055 * v ** (1 / 2.4) - 0.055
p3 = to_xyz([(0.680, 0.320), (0.265, 0.690), (0.150, 0.060)])
light = [lin(v / 255) for v in (40, 180, 60)]
xyz = [sum(p3[r][c] * light[c] for c in range(3)) for r in range(3)]
srgb = solve(to_xyz([(0.64, 0.33), (0.30, 0.60), (0.15, 0.06)]), xyz)
print(' '.join(str(int(enc(min(1.0, max(0.0, v))) * 255 + 0.5)) for v in srgb))
PY

# A 10-bit picture (from a 16-bit PNG); heif-enc 1.15 writes no nclx box for it.
convert -size 64x64 xc:'rgb(200,40,40)' -depth 16 PNG48:"$out/deep.png"
heif-enc "${lossless[@]}" -b 10 "$out/deep.png" -o "$out/deep.heic" >/dev/null

python3 - "$out/upright.heic" "$out/huge.heic" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], 'rb').read())
# Every ispe: heif-enc writes a lossless picture as a grid of one tile, each item with its own.
at = data.find(b'ispe')
assert at > 0, 'no ispe box'
while at > 0:
    data[at + 8:at + 16] = struct.pack('>II', 30000, 30000)
    at = data.find(b'ispe', at + 4)
open(sys.argv[2], 'wb').write(data)
PY
rm -f "$out"/*.png "$out"/*.jpg "$out/patch-adobe.tif" "$out/exif6.heic" "$out/patch.heic"
touch "$out/complete"
