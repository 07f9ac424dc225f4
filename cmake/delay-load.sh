#!/usr/bin/env bash
# Writes a delay-load import library for one system DLL from mingw's ordinary import library:
# every function it names, bound on first call instead of when the process starts.
# Usage: delay-load.sh NM DLLTOOL IMPORT_LIB DLL_NAME OUT_LIB
set -euo pipefail
nm=$1 dlltool=$2 import=$3 dll=$4 out=$5
def=$(mktemp)
trap 'rm -f "$def"' EXIT
{
  echo "LIBRARY $dll"
  echo "EXPORTS"
  "$nm" -g "$import" | awk '$2 == "I" && $3 ~ /^__imp_/ { sub(/^__imp_/, "", $3); print $3 }' | sort -u
} > "$def"
[ "$(wc -l < "$def")" -gt 2 ] || { echo "delay-load: no functions in $import" >&2; exit 1; }
"$dlltool" -d "$def" -y "$out" -D "$dll"
