#!/usr/bin/env bash
# Makes the HEIF benchmark's picture: a 4000 x 3000 (12 MP) photo-like ImageMagick plasma, encoded
# by heif-enc (x265, quality 80, 4:2:0, as a phone's), into OUT (default
# build/windows/heif-bench/bench.heic). Then:  wine build/windows/bin/heif_bench.exe OUT
set -euo pipefail
out=${1:-$(cd "$(dirname "$0")/.." && pwd)/build/windows/heif-bench/bench.heic}
mkdir -p "$(dirname "$out")"
png=$(mktemp --suffix=.png)
trap 'rm -f "$png"' EXIT
convert -seed 7 -size 4000x3000 plasma:tan-steelblue -blur 0x1 -attenuate 0.1 +noise Gaussian \
  -depth 8 -type TrueColor -define png:color-type=2 "$png"
heif-enc -q 80 "$png" -o "$out" >/dev/null
echo "$out"
