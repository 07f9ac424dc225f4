#!/usr/bin/env bash
# Times a 12 MP AVIF's decode inside Vistrel against a bare dav1d decode and conversion of the same
# file (bench/wine/avif_bench.cpp), under Wine. The picture (a 4000 x 3000 fractal with photo-like
# grain, 8-bit 4:2:0, encoded by avifenc) is made once into build/windows/bench-avif/.
# Needs the windows preset built and, for Wine, a display (source scripts/display.sh; vistrel_xvfb).
#   bench/avif_bench.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$root/build/windows/bench-avif
picture=$out/photo-12mp.avif
if [ ! -f "$picture" ]; then
  command -v avifenc >/dev/null || { echo "avif bench: avifenc (libavif-bin) missing"; exit 1; }
  mkdir -p "$out"
  convert -size 4000x3000 -seed 7 plasma:fractal -blur 0x1 -attenuate 0.4 +noise Gaussian -depth 8 "$out/photo-12mp.png"
  avifenc -s 8 -j 2 --min 18 --max 28 -d 8 -y 420 "$out/photo-12mp.png" "$picture" >/dev/null
fi
export WINEPREFIX=${WINEPREFIX:-$root/build/windows/wineprefix}
echo "load: $(cat /proc/loadavg)"
"$root/cmake/wine-run.sh" "$WINEPREFIX" "$root/build/windows/bin/avif_bench.exe" "Z:${picture//\//\\}"
echo "load: $(cat /proc/loadavg)"
