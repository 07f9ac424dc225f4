#!/usr/bin/env bash
# Creates the Wine prefix once: no Mono or Gecko installers, and every program runs in a
# 1600x1000 virtual desktop, where Wine draws captions and maximises windows as Windows does.
set -euo pipefail
prefix=$(realpath -m "$1")
mkdir -p "$(dirname "$prefix")"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" WINEARCH=win64
exec 9>"$prefix.lock"
flock 9
if [ ! -f "$prefix/.vistrel-ready" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1600x1000 /f >/dev/null 2>&1
  # The viewer must see 96 dpi unless a test asks otherwise.
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
  # The boot's own desktop, made before the virtual desktop was asked for, is the plain
  # full-screen one; a program started while it lives joins it and cannot maximise (no window
  # manager). Wait for it and its server to end, so the next program makes the virtual desktop.
  wineserver -w
  touch "$prefix/.vistrel-ready"
fi
