#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing, and fetches the
# pinned source packages (libjpeg-turbo, libspng, zlib, openjpeg, lcms2, libwebp, dav1d, libheif,
# libde265, libjxl, highway, brotli, giflib) into build/deps/ once (the build compiles them for each preset).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest python3
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64 xvfb x11-utils imagemagick
  nasm dpkg-dev wixl msitools zip
  liblcms2-utils colord-data icc-profiles-free libgs-common
  webp libavif-bin libheif-examples libjxl-tools
)
# The JPEG decoder: Debian bookworm's libjpeg-turbo, exactly this version.
jpeg_source=libjpeg-turbo
jpeg_version=1:2.1.5-2
jpeg_dir=$root/build/deps/libjpeg-turbo-2.1.5
# Every pinned source package: "name=version folder a-file-that-shows-it-is-complete".
sources=(
  "$jpeg_source=$jpeg_version libjpeg-turbo-2.1.5 CMakeLists.txt"
  # The PNG decoder and its inflater (bookworm's).
  "libspng=0.7.3-3 libspng-0.7.3 spng/spng.c"
  "zlib=1:1.2.13.dfsg-1 zlib-1.2.13.dfsg inflate.c"
  # The JPEG 2000 decoder and the colour management engine (bookworm's).
  "openjpeg2=2.5.0-2+deb12u3 openjpeg2-2.5.0 src/lib/openjp2/openjpeg.c"
  "lcms2=2.14-2+deb12u1 lcms2-2.14 src/cmscnvrt.c"
  # The WebP decoder (bookworm's; its encoder tools come with the webp package above, for the tests).
  "libwebp=1.2.4-0.2+deb12u1 libwebp-1.2.4 src/dec/vp8_dec.c"
  # The AV1 decoder of AVIF pictures (bookworm's); the container is read by our own code.
  "dav1d=1.0.0-2+deb12u1 dav1d-1.0.0 src/lib.c"
  # The HEIF reader and its HEVC decoder (bookworm's), built as replaceable DLLs for Windows.
  "libheif=1.15.1-1+deb12u1 libheif-1.15.1 libheif/heif_context.cc"
  "libde265=1.0.11-1+deb12u2 libde265-1.0.11 libde265/decctx.cc"
  # The JPEG XL decoder with its SIMD library and its Brotli decoder (bookworm's).
  "jpeg-xl=0.7.0-10+deb12u1 jpeg-xl-0.7.0 lib/jxl/decode.cc"
  "highway=1.0.3-3+deb12u1 highway-1.0.3 hwy/targets.cc"
  "brotli=1.0.9-2 brotli-1.0.9 c/dec/decode.c"
  # The GIF frame reader for animations (bookworm's).
  "giflib=5.2.1-2.5+deb12u1 giflib-5.2.1 dgif_lib.c"
)

sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
apt=(apt-get -o DPkg::Lock::Timeout=600)
updated=0
apt_update() {
  [ "$updated" -eq 1 ] && return 0
  $sudo "${apt[@]}" update -qq
  updated=1
}

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  apt_update
  DEBIAN_FRONTEND=noninteractive $sudo "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

wanted=()
for entry in "${sources[@]}"; do
  read -r spec dir check <<<"$entry"
  [ -f "$root/build/deps/$dir/$check" ] || wanted+=("$entry")
done
[ ${#wanted[@]} -eq 0 ] && exit 0

# apt-get source needs the archive's source indexes. When no entry offers them, add deb-src
# entries for the same archives in a file of our own (written once; its deb-src lines are then found).
sources_d=/etc/apt/sources.list.d
own=$sources_d/vistrel-deb-src.sources
if ! grep -qsE '^[[:space:]]*(Types:.*deb-src|deb-src[[:space:]])' /etc/apt/sources.list "$sources_d"/*.list \
     "$sources_d"/*.sources; then
  entries=$(
    # deb822 stanzas whose Types name "deb": the same stanza with Types: deb-src.
    for f in "$sources_d"/*.sources; do
      [ -f "$f" ] || continue
      awk 'BEGIN { RS = ""; ORS = "\n\n" }
           /(^|\n)Types:[ \t]*([^\n]*[ \t])?deb([ \t]|\n|$)/ {
             sub(/Types:[^\n]*/, "Types: deb-src"); print }' "$f"
    done
    # One-line entries, if any, as deb822 stanzas too.
    for f in /etc/apt/sources.list "$sources_d"/*.list; do
      [ -f "$f" ] || continue
      awk '$1 == "deb" && $2 !~ /^\[/ && NF >= 4 {
             printf "Types: deb-src\nURIs: %s\nSuites: %s\nComponents:", $2, $3
             for (i = 4; i <= NF; i++) printf " %s", $i
             printf "\n\n" }' "$f"
    done
  )
  [ -n "$entries" ] || { echo "deps: no Debian archive entry to take source packages from" >&2; exit 1; }
  echo "deps: enabling Debian source packages in $own"
  printf '# Added by Vistrel scripts/deps.sh: source packages for the pinned libraries.\n%s\n' \
    "$entries" | $sudo tee "$own" >/dev/null
  updated=0
  apt_update
fi

# Fetched into a scratch folder first, so an interrupted fetch never looks complete. The package
# indexes are refreshed only when a first try fails (no source index yet, or an old one).
mkdir -p "$root/build/deps"
work=$(mktemp -d "$root/build/deps/fetch.XXXXXX")
trap 'rm -rf "$work" "$work.log"' EXIT
for entry in "${wanted[@]}"; do
  read -r spec dir check <<<"$entry"
  fetch() {
    rm -rf "${work:?}"/*
    # --only-source: the names are source packages' (brotli is also a binary package, whose
    # version would otherwise pick the source).
    (cd "$work" && "${apt[@]}" source -qq --only-source "$spec" >/dev/null 2>"$work.log")
  }
  echo "deps: fetching source package $spec"
  if ! fetch; then
    updated_before=$updated
    apt_update
    if [ "$updated_before" -eq 1 ] || ! fetch; then
      cat "$work.log" >&2
      exit 1
    fi
  fi
  [ -f "$work/$dir/$check" ] || { echo "deps: ${spec%%=*} source not unpacked" >&2; exit 1; }
  rm -rf "${root:?}/build/deps/$dir"
  mv "$work/$dir" "$root/build/deps/$dir"
done
