#!/usr/bin/env bash
# The end-to-end benchmark in one go: builds vistrel.exe, e2e_bench.exe and the X helper, and
# vistrel.exe as it was at an earlier commit (in a worktree of its own), starts a private Xvfb and
# the Wine desktop as scripts/test.sh does, times this viewer, the earlier build and feh on the
# same file and screen, prints the figures, and stops every process it started.
# Usage: bench/e2e.sh [--quick] [--trace] [--formats] | --start-from-linux [--rounds=N] | --interactions
#   --quick    24 MP pictures only, fewer rounds, a shorter held key
#   --trace    print every change of the picture area seen while waiting
#   --formats  only the start of PNG, PNG with alpha, BMP, TIFF, GIF, WebP, AVIF, HEIC and JPEG XL
#              pictures (made here with ImageMagick and Debian's encoders), and for the last four a
#              step onto a prepared picture
#   --start-from-linux  only the start as a Linux shell makes it, each in a Wine desktop of its
#              own, against a bare Wine window and feh (bench/start_from_linux.sh); with --formats
#              also the 24 MP PNG, 12 MP PNG with alpha and 24 MP BMP
#   --interactions  only zoom, drag and turn on a shown picture, timed from outside the process
#              against feh (bench/interactions.sh); VISTREL_EXE names a vistrel.exe to time
#              instead of building one, and a WINEPREFIX already set is kept
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$(pwd)
options=()
from_linux=0
interactions=0
for arg in "$@"; do
  case "$arg" in
    --quick|--trace|--formats) options+=("$arg") ;;
    --start-from-linux) from_linux=1 ;;
    --interactions) interactions=1 ;;
    --rounds=*) options+=(--rounds "${arg#--rounds=}") ;;  # the starts from Linux: rounds counted
    *) echo "usage: bench/e2e.sh [--quick] [--trace] [--formats] | --start-from-linux | --interactions" >&2; exit 2 ;;
  esac
done

scripts/deps.sh || exit 1
# The reference viewer and the X headers for the helper; pinned to the versions measured.
need=()
dpkg-query -W -f='${Status}' feh 2>/dev/null | grep -q "install ok installed" || need+=(feh=3.9.1-2)
dpkg-query -W -f='${Status}' libx11-dev 2>/dev/null | grep -q "install ok installed" || need+=(libx11-dev=2:1.8.4-2+deb12u2)
if [ "$interactions" -eq 1 ]; then
  # XTest for the input the helper sends; cjpeg for the 100 MP picture.
  dpkg-query -W -f='${Status}' libxtst-dev 2>/dev/null | grep -q "install ok installed" || need+=(libxtst-dev=2:1.2.3-1.1)
  dpkg-query -W -f='${Status}' libjpeg-turbo-progs 2>/dev/null | grep -q "install ok installed" ||
    need+=(libjpeg-turbo-progs=1:2.1.5-2)
fi
if [ ${#need[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get -o DPkg::Lock::Timeout=600 update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=600 install -y -qq --no-install-recommends \
    "${need[@]}" >/dev/null || exit 1
fi

out=$root/build/e2e-bench
mkdir -p "$out"
if [ "$interactions" -eq 0 ] || [ -z "${VISTREL_EXE:-}" ]; then
  [ -f build/windows/build.ninja ] || cmake --preset windows >/dev/null || exit 1
  if ! cmake --build --preset windows -j2 --target vistrel e2e_bench bare_window decode_bench >"$out/build.log" 2>&1; then
    cat "$out/build.log"; echo "build failed" >&2; exit 1
  fi
fi

# The earlier build the figures compare with: vistrel.exe as it was at a pinned commit, built in a
# worktree of its own under build/ from the same unpacked source packages (build/deps).
earlier_commit=c88f382
earlier_src=$root/build/baseline-src
earlier_exe=$earlier_src/build/windows/bin/vistrel.exe
build_earlier() {
  if [ ! -e "$earlier_src/.git" ]; then
    git worktree add --detach "$earlier_src" "$earlier_commit" >/dev/null || return 1
  fi
  # A worktree left at another commit goes back to the pinned one.
  if [ "$(git -C "$earlier_src" rev-parse HEAD)" != "$(git rev-parse "$earlier_commit^{commit}")" ]; then
    git -C "$earlier_src" checkout -q --detach "$earlier_commit" || return 1
  fi
  mkdir -p "$earlier_src/build"
  [ -e "$earlier_src/build/deps" ] || ln -s "$root/build/deps" "$earlier_src/build/deps" || return 1
  if ! (cd "$earlier_src" && { [ -f build/windows/build.ninja ] || cmake --preset windows; } &&
    cmake --build --preset windows -j2 --target vistrel) >"$out/earlier-build.log" 2>&1; then
    cat "$out/earlier-build.log"; echo "the earlier build failed" >&2; return 1
  fi
}
if [ "$interactions" -eq 0 ] && [ "$from_linux" -eq 0 ]; then
  build_earlier || exit 1
fi
if [ "$interactions" -eq 1 ]; then
  g++ -O2 -std=c++17 -Wall -Wextra -Werror bench/x11/interact.cpp -lX11 -lXext -lXtst -o "$out/interact" || exit 1
else
  g++ -O2 -std=c++17 -Wall -Wextra -Werror bench/x11/watch_start.cpp -lX11 -o "$out/watch_start" || exit 1
fi

source scripts/display.sh
explorer_pid=""
cleanup() {
  [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null
  [ -n "$explorer_pid" ] && kill "$explorer_pid" 2>/dev/null
  [ -n "${VISTREL_XVFB_PID:-}" ] && kill "$VISTREL_XVFB_PID" 2>/dev/null
}
trap cleanup EXIT
vistrel_xvfb || exit 1
prefix=$root/build/windows/wineprefix
[ "$interactions" -eq 1 ] && prefix=${WINEPREFIX:-$prefix}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
cmake/wine-prefix.sh "$WINEPREFIX"
wineserver -p
if [ "$interactions" -eq 1 ]; then
  bench/interactions.sh "$out"
  exit
fi
if [ "$from_linux" -eq 0 ]; then
  wine explorer /desktop=Default,1600x1000 >/dev/null 2>&1 &
  explorer_pid=$!
  sleep 2
fi

# The 20,000-file folder, once: links to one small JPEG, made here because creating files in a
# big folder under Wine takes minutes (each new name is checked against the whole folder).
data=$out/data
if [ ! -f "$data/many.done" ]; then
  mkdir -p "$data/pictures" "$data/many"
  [ -f "$data/pictures/tiny.jpg" ] || convert -size 64x48 plasma:fractal -quality 90 "$data/pictures/tiny.jpg" || exit 1
  python3 - "$data/pictures/tiny.jpg" "$data/many" <<'PY' || exit 1
import os, sys
tiny, folder = sys.argv[1], sys.argv[2]
for i in range(1, 20001):
    name = os.path.join(folder, "img%05d.jpg" % i)
    if not os.path.exists(name):
        os.link(tiny, name)
PY
  touch "$data/many.done"
fi

windows() { echo "Z:${1//\//\\}"; }

# The other formats' pictures, once: a photo-like plasma with grain, each alone in its folder.
if [[ " ${options[*]-} " == *" --formats "* ]] && [ ! -f "$data/formats-2.done" ]; then
  f=$data/formats
  mkdir -p "$f"/{png24,pngalpha12,bmp24,png1,pngalpha1,bmp1,tiff24,tiff1,gif12,gif1}
  photo() { convert -size 1500x1000 plasma:fractal -resize "$1"! -attenuate 0.3 +noise Gaussian "$2"; }
  alpha() { convert "$1" \( -size "$2" gradient:gray40-white \) -alpha off -compose CopyOpacity -composite PNG32:"$3"; }
  photo 6000x4000 "$f/photo24.ppm" && photo 4000x3000 "$f/photo12.ppm" && photo 1224x816 "$f/photo1.ppm" &&
    convert "$f/photo24.ppm" PNG24:"$f/png24/24mp.png" && convert "$f/photo24.ppm" BMP3:"$f/bmp24/24mp.bmp" &&
    alpha "$f/photo12.ppm" 4000x3000 "$f/pngalpha12/12mp-alpha.png" &&
    convert "$f/photo1.ppm" PNG24:"$f/png1/1mp.png" && convert "$f/photo1.ppm" BMP3:"$f/bmp1/1mp.bmp" &&
    alpha "$f/photo1.ppm" 1224x816 "$f/pngalpha1/1mp-alpha.png" &&
    convert "$f/photo24.ppm" -compress LZW "$f/tiff24/24mp.tif" && convert "$f/photo1.ppm" -compress LZW "$f/tiff1/1mp.tif" &&
    convert "$f/photo12.ppm" -colors 256 "$f/gif12/12mp.gif" && convert "$f/photo1.ppm" -colors 256 "$f/gif1/1mp.gif" || exit 1
  rm -f "$f"/photo*.ppm
  touch "$data/formats-2.done"
fi
# The newer formats, each in a folder of two 12 MP pictures (the second mirrored, for a step onto a
# prepared picture) and a folder of one 1 MP picture, made by Debian's encoders.
if [[ " ${options[*]-} " == *" --formats "* ]] && [ ! -f "$data/formats-new-2.done" ]; then
  f=$data/formats
  mkdir -p "$f"/{webp12,avif12,heic12,jxl12,webp12-step,avif12-step,heic12-step,jxl12-step,webp1,avif1,heic1,jxl1}
  convert -size 1500x1000 plasma:fractal -resize 4000x3000! -attenuate 0.3 +noise Gaussian PNG24:"$f/a.png" &&
    convert "$f/a.png" -flop PNG24:"$f/b.png" && convert "$f/a.png" -resize 1224x816! PNG24:"$f/one.png" || exit 1
  encode() {  # kind, input, output
    case $1 in
      webp) cwebp -quiet -q 80 "$2" -o "$3" ;;
      avif) avifenc -s 8 -j 2 --min 18 --max 28 -d 8 -y 420 "$2" "$3" >/dev/null ;;
      heic) heif-enc -q 80 "$2" -o "$3" >/dev/null ;;
      jxl) cjxl "$2" "$3" >/dev/null 2>&1 ;;
    esac
  }
  for kind in webp avif heic jxl; do
    rm -f "$f/${kind}12/b.$kind"  # kept there by an earlier layout
    encode $kind "$f/a.png" "$f/${kind}12/a.$kind" && cp "$f/${kind}12/a.$kind" "$f/${kind}12-step/" &&
      encode $kind "$f/b.png" "$f/${kind}12-step/b.$kind" && encode $kind "$f/one.png" "$f/${kind}1/1mp.$kind" || exit 1
  done
  rm -f "$f/a.png" "$f/b.png" "$f/one.png"
  touch "$data/formats-new-2.done"
fi

if [ "$from_linux" -eq 1 ]; then
  wine build/windows/bin/e2e_bench.exe "$(windows "$data")" --start-pictures || exit 1
  bench/start_from_linux.sh "$out" "${options[@]}"
  exit
fi

started=$(date +%s)
# Other work on the machine slows the viewer and feh alike; the load tells how much there was.
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
wine build/windows/bin/e2e_bench.exe "$(windows "$data")" "${options[@]}" --x-helper "$(windows "$out/watch_start")" \
  --earlier "$(windows "$earlier_exe")" || exit 1
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "the whole benchmark took $(( $(date +%s) - started )) s; pictures and folders are kept in $data"
