#!/usr/bin/env bash
# The JPEG XL decode benchmark: makes a 12 MP photo-like picture (ImageMagick's plasma, with a
# fixed seed) into a JPEG XL file with cjxl at its default distance, then runs jxl_bench.exe on it
# under the project's Wine prefix and a private Xvfb, and prints the load average before and after.
# Build first: cmake --preset windows && cmake --build --preset windows --target jxl_bench
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)
bench=$root/build/windows/bin/jxl_bench.exe
[ -x "$bench" ] || { echo "no $bench: build the windows preset first" >&2; exit 1; }
command -v cjxl >/dev/null || { echo "cjxl (libjxl-tools) is not installed: run scripts/deps.sh" >&2; exit 1; }
work=$root/build/windows/jxl-bench
mkdir -p "$work"
if [ ! -f "$work/12mp.jxl" ]; then
  convert -seed 7 -size 4000x3000 plasma:fractal -blur 0x1 -depth 8 -define png:exclude-chunks=gAMA,cHRM,sRGB \
    "$work/12mp.png"
  cjxl "$work/12mp.png" "$work/12mp.jxl" >/dev/null 2>&1 || { echo "cjxl failed" >&2; exit 1; }
fi
echo "12 MP picture: $(stat -c %s "$work/12mp.jxl") bytes"
source scripts/display.sh
vistrel_xvfb || exit 1
export WINEPREFIX=$root/build/windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cmake/wine-prefix.sh "$WINEPREFIX" >/dev/null 2>&1
echo "load average before: $(cat /proc/loadavg)"
wine "$bench" "Z:${work//\//\\}\\12mp.jxl"
status=$?
echo "load average after: $(cat /proc/loadavg)"
wineserver -k 2>/dev/null
kill "$VISTREL_XVFB_PID" 2>/dev/null
exit $status
