#!/usr/bin/env bash
# Runs one Windows program under Wine with the project's own prefix (never the user's).
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
set -euo pipefail
prefix=$(realpath -m "$1"); shift
here=$(cd "$(dirname "$0")" && pwd)
"$here/wine-prefix.sh" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
exec wine "$@"
