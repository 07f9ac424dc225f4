#!/usr/bin/env bash
# Makes the colour scenario's pictures into OUT: eight flat patches (patches.png, untagged), the
# same numbers tagged with free RGB profiles (Debian's colord-data) as JPEG, TIFF, PNG and lossless
# WebP (cwebp, keeping the PNG's profile), references
# converted to sRGB by Little CMS's own tificc (relative colorimetric; for the JPEGs, from their
# decoded numbers), the profiles themselves (the
# test writes a tagged JPEG 2000 file with them) and an sRGB-tagged JPEG beside its untagged twin.
# Without ImageMagick, tificc or the profiles it makes nothing, and the scenario says it skips.
set -uo pipefail
out=$1
rm -rf "$out"
mkdir -p "$out"
icc=/usr/share/color/icc/colord
if ! command -v convert >/dev/null || ! command -v tificc >/dev/null || ! command -v cwebp >/dev/null ||
   [ ! -f "$icc/AdobeRGB1998.icc" ]; then
  echo "colour pictures: ImageMagick, tificc (liblcms2-utils), cwebp (webp) or colord-data missing; none made"
  exit 0
fi
set -e
convert -size 64x64 xc:'rgb(200,40,40)' xc:'rgb(40,180,60)' xc:'rgb(30,60,210)' xc:'rgb(230,200,40)' +append \
  \( -size 64x64 xc:'rgb(120,120,120)' xc:'rgb(250,250,250)' xc:'rgb(20,20,20)' xc:'rgb(90,200,220)' +append \) \
  -append -depth 8 -type TrueColor -define png:color-type=2 "$out/patches.png"
# An untagged picture gets the profile assigned, not converted: the same numbers, now meant as
# that profile's colours.
for name in AdobeRGB1998 ProPhotoRGB; do
  cp "$icc/$name.icc" "$out/$name.icc"
  convert "$out/patches.png" -profile "$icc/$name.icc" -quality 95 "$out/$name.jpg"
  convert "$out/patches.png" -profile "$icc/$name.icc" -type TrueColor -compress none "$out/$name.tif"
  convert "$out/patches.png" -profile "$icc/$name.icc" -define png:color-type=2 "$out/$name.png"
  cwebp -quiet -lossless -metadata icc "$out/$name.png" -o "$out/$name.webp"
  tificc -t 1 "$out/$name.tif" "$out/$name-reference.tif" >/dev/null 2>&1
  # The JPEG's own decoded numbers (lossy, so not quite the patches'), kept losslessly with their
  # profile, converted the same way.
  convert "$out/$name.jpg" -type TrueColor -compress none "$out/$name-decoded-jpeg.tif"
  tificc -t 1 "$out/$name-decoded-jpeg.tif" "$out/$name-jpeg-reference.tif" >/dev/null 2>&1
done
convert "$out/patches.png" -quality 95 "$out/untagged.jpg"
convert "$out/patches.png" -profile "$icc/sRGB.icc" -quality 95 "$out/srgb.jpg"
touch "$out/complete"
