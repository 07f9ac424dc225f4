#!/usr/bin/env bash
# Installs what is missing, builds vistrel.exe and starts it on the bundled samples (or on the
# file or folder given). With a display the viewer opens there, inside a Wine desktop; without
# one it runs under Xvfb, a screenshot of its window after the first paint is saved into the
# build tree, its path printed, and the viewer closed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
target=$(realpath -m "${1:-$root/samples}")
scripts/deps.sh
cmake --preset windows >/dev/null
cmake --build --preset windows --target vistrel viewer_shot

prefix=$root/build/windows/wineprefix
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source scripts/display.sh
headless=0
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then :; else headless=1; vistrel_xvfb; fi
cmake/wine-prefix.sh "$prefix"

# The viewer takes one file; a folder given with a trailing backslash shows its first image.
argument=$(winepath -w "$target")
[ -d "$target" ] && argument="${argument%\\}\\"

if [ "$headless" -eq 0 ]; then
  exec wine "$root/build/windows/bin/vistrel.exe" "$argument"
fi
mkdir -p build/windows/screenshots
shot=$root/build/windows/screenshots/vistrel-$(date +%Y%m%d-%H%M%S).png
wine "$root/build/windows/bin/viewer_shot.exe" "$(winepath -w "$shot")" "$argument"
wineserver -k 2>/dev/null || true
kill "$VISTREL_XVFB_PID" 2>/dev/null || true
echo "screenshot: $shot"
