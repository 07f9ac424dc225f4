#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing, and fetches the
# pinned source packages of the libraries it compiles (libjpeg-turbo, openjpeg, lcms2) into
# build/deps/ once (the build compiles each for each preset).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev googletest python3
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64
  wine wine64 xvfb x11-utils imagemagick
  nasm dpkg-dev wixl msitools zip
  liblcms2-utils colord-data icc-profiles-free
)
# The JPEG decoder: Debian bookworm's libjpeg-turbo, exactly this version.
jpeg_source=libjpeg-turbo
jpeg_version=1:2.1.5-2
jpeg_dir=$root/build/deps/libjpeg-turbo-2.1.5
# The JPEG 2000 decoder and the colour management engine, pinned the same way:
# each entry is "source package=version unpacked-folder".
more_sources=(
  "openjpeg2=2.5.0-2+deb12u3 openjpeg2-2.5.0"
  "lcms2=2.14-2+deb12u1 lcms2-2.14"
)
all_fetched() {
  [ -f "$jpeg_dir/CMakeLists.txt" ] || return 1
  local entry
  for entry in "${more_sources[@]}"; do
    [ -d "$root/build/deps/${entry#* }" ] || return 1
  done
}

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

all_fetched && exit 0

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
  printf '# Added by Vistrel scripts/deps.sh: source packages for the pinned libjpeg-turbo.\n%s\n' \
    "$entries" | $sudo tee "$own" >/dev/null
  updated=0
  apt_update
fi

# Fetched into a scratch folder first, so an interrupted fetch never looks complete. The package
# indexes are refreshed only when a first try fails (no source index yet, or an old one).
mkdir -p "$root/build/deps"
work=$(mktemp -d "$root/build/deps/fetch.XXXXXX")
trap 'rm -rf "$work" "$work.log"' EXIT
fetch() {  # source=version
  rm -rf "${work:?}"/*
  (cd "$work" && "${apt[@]}" source -qq "$1" >/dev/null 2>"$work.log")
}
fetch_into() {  # source=version unpacked-folder
  local wanted=$1 folder=$2
  [ -d "$root/build/deps/$folder" ] && return 0
  echo "deps: fetching source package $wanted"
  if ! fetch "$wanted"; then
    updated_before=$updated
    apt_update
    if [ "$updated_before" -eq 1 ] || ! fetch "$wanted"; then
      cat "$work.log" >&2
      exit 1
    fi
  fi
  [ -d "$work/$folder" ] || { echo "deps: ${wanted%%=*} source not unpacked" >&2; exit 1; }
  rm -rf "${root:?}/build/deps/$folder"
  mv "$work/$folder" "$root/build/deps/$folder"
}
[ -f "$jpeg_dir/CMakeLists.txt" ] || fetch_into "$jpeg_source=$jpeg_version" "$(basename "$jpeg_dir")"
for entry in "${more_sources[@]}"; do
  fetch_into "${entry% *}" "${entry#* }"
done
