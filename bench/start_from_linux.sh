#!/usr/bin/env bash
# The start as a Linux shell makes it: `wine explorer /desktop=NAME,1600x1000 vistrel.exe FILE`,
# each start in a desktop of its own, maximised, no settings file; timed from the launch until
# the screen shows the final picture and stays still (bench/x11/watch_start), against a bare
# Wine window (bench/wine/bare_window.cpp) and feh on the same file, in alternating rounds.
# Called by `bench/e2e.sh --start-from-linux`, which builds everything, makes the pictures, and
# starts Xvfb (DISPLAY) and the Wine prefix's persistent wineserver (WINEPREFIX and the rest).
# Usage: bench/start_from_linux.sh OUT_DIR [--rounds N] [--formats]
#   --formats  also the 24 MP PNG, the 12 MP PNG with alpha and the 24 MP BMP that
#              `bench/e2e.sh --formats` makes, each against feh and the bare window, and its
#              12 MP WebP, AVIF, HEIC and JPEG XL against the bare window
#
# Round 0 is not counted: it warms the file cache and Wine up and gives each subject its
# reference, the state its screen ends on; the counted rounds accept only that state, since the
# Wine desktop's own background is also new and still while a program starts.
# Between runs: watch_start ends the front process (explorer, the desktop's owner); the program
# it started is ended here by its process id, and the next run starts only once the Wine
# processes are back to the ones that were up before the first run (the wineserver and its
# services, as in a session where Wine is in use) and the screen is bare again.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
out=${1:?usage: bench/start_from_linux.sh OUT_DIR [--rounds N] [--formats]}
shift
rounds=5
formats=0
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds=${2:?}; shift ;;
    --formats) formats=1 ;;
  esac
  shift
done
data=$out/data
watch=$out/watch_start
work=$out/start-from-linux
mkdir -p "$work"
rm -f "$work"/*.ref "$work"/profile-*.txt
area=1600x981+0+19  # the maximised window's client area in the 1600 x 1000 desktop
settings=$WINEPREFIX/drive_c/ProgramData/vistrel.settings
windows() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; }
viewer=$(windows build/windows/bin/vistrel.exe)
bare=$(windows build/windows/bin/bare_window.exe)

# Subjects: name, then the command after the desktop (wine) or the file (feh).
names=(bare vistrel-1mp feh-1mp vistrel-24mp feh-24mp vistrel-100mp feh-100mp vistrel-many)
declare -A what=(
  [bare]="wine|$bare"
  [vistrel-1mp]="wine|$viewer|$(windows "$data/pictures/1mp-1.jpg")"
  [feh-1mp]="feh|$data/pictures/1mp-1.jpg"
  [vistrel-24mp]="wine|$viewer|$(windows "$data/one/start.jpg")"
  [feh-24mp]="feh|$data/one/start.jpg"
  [vistrel-100mp]="wine|$viewer|$(windows "$data/pictures/100mp-1.jpg")"
  [feh-100mp]="feh|$data/pictures/100mp-1.jpg"
  [vistrel-many]="wine|$viewer|$(windows "$data/many/start.jpg")"
)
needed=("$data/pictures/1mp-1.jpg" "$data/one/start.jpg" "$data/pictures/100mp-1.jpg" "$data/many/start.jpg")
if [ "$formats" -eq 1 ]; then
  for f in png24/24mp.png pngalpha12/12mp-alpha.png bmp24/24mp.bmp; do
    kind=${f%%/*}
    names+=("vistrel-$kind" "feh-$kind")
    what[vistrel-$kind]="wine|$viewer|$(windows "$data/formats/$f")"
    what[feh-$kind]="feh|$data/formats/$f"
    needed+=("$data/formats/$f")
  done
  # The newer formats, against the bare window alone (feh's imlib2 reads none of them here).
  for f in webp12/a.webp avif12/a.avif heic12/a.heic jxl12/a.jxl; do
    kind=${f%%/*}
    names+=("vistrel-$kind")
    what[vistrel-$kind]="wine|$viewer|$(windows "$data/formats/$f")"
    needed+=("$data/formats/$f")
  done
fi
for f in "${needed[@]}"; do
  [ -f "$f" ] || { echo "missing $f (bench/e2e.sh makes it)" >&2; exit 1; }
done

source bench/wine_session.sh
fresh_wine_session

declare -A runs firsts
# One start of a subject; appends its time to runs[name], or "x" when it failed.
run_one() {
  local name=$1 round=$2 kind file command result=$work/result.txt reference=(--reference "$work/$1.ref")
  IFS='|' read -r kind command file <<<"${what[$name]}"
  [ "$round" -eq 0 ] && reference=(--save-reference "$work/$name.ref" --settle-ms 8000 --quiet-ms 1000)
  rm -f "$result" "$settings"
  if [ "$kind" = wine ]; then
    local desktop="start$round-$name" profile=""
    # The viewer's own account of the counted starts (written after its first blit).
    [ "$round" -gt 0 ] && [ -n "$file" ] && profile=$(windows "$work")\\profile-$name.txt
    VISTREL_PROFILE=$profile "$watch" --area "$area" --runs 1 --warmup 0 "${reference[@]}" --result "$result" -- \
      wine explorer "/desktop=$desktop,1600x1000" "$command" ${file:+"$file"} >/dev/null 2>&1
    end_wine_run || exit 1
  else
    "$watch" --area "$area" --runs 1 --warmup 0 "${reference[@]}" --result "$result" -- \
      feh --geometry "$area" --scale-down --image-bg black --no-menus "$command" >/dev/null 2>&1
  fi
  local ms first
  ms=$(awk '$1 != "failed" {print $1}' "$result" 2>/dev/null)
  first=$(awk '$1 != "failed" && $3 >= 0 {print $3}' "$result" 2>/dev/null)
  runs[$name]+="${ms:-x} "
  firsts[$name]+="${first:-x} "
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq 0 "$rounds"); do
  order=("${names[@]}")
  # Alternate the order, so a drift in the machine's load falls on every subject alike.
  if [ $((round % 2)) -eq 1 ]; then
    order=(); for ((k = ${#names[@]} - 1; k >= 0; k--)); do order+=("${names[k]}"); done
  fi
  for name in "${order[@]}"; do run_one "$name" "$round"; done
  echo "round $round done, load $(cut -d' ' -f1 /proc/loadavg)"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

counted() { tr ' ' '\n' <<<"$1" | tail -n +2 | grep -E '^[0-9.]+$' | sort -g; }  # all but round 0's
median() {
  counted "$1" | awk '{v[NR]=$1} END {if (NR == 0) print "nan"; else if (NR % 2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}'
}
declare -A m
echo
echo "start -> final picture, still for 500 ms (medians of $rounds; the fastest counted start; all runs, round 0's first, not counted)"
for name in "${names[@]}"; do
  m[$name]=$(median "${runs[$name]}")
  printf '  %-14s %8.0f ms %8.0f ms   runs: %s\n' "$name" "${m[$name]}" "$(counted "${runs[$name]}" | head -1)" "${runs[$name]}"
done
echo
echo "start -> first picture (the first capture within 40 levels of the final one on 90 % of the area; medians)"
declare -A f
for name in "${names[@]}"; do
  f[$name]=$(median "${firsts[$name]}")
  printf '  %-14s %8.0f ms   runs: %s\n' "${name}" "${f[$name]}" "${firsts[$name]}"
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%.2f", a/b}'; }
diff_ms() { awk -v a="$1" -v b="$2" 'BEGIN{printf "%+.0f ms", a-b}'; }
echo
echo "targets:"
echo "  24 MP:  vistrel / feh            $(ratio "${m[vistrel-24mp]}" "${m[feh-24mp]}")   (<= 0.9)"
echo "  24 MP:  vistrel - bare window    $(diff_ms "${m[vistrel-24mp]}" "${m[bare]}")   (<= +200 ms)"
echo "  100 MP: vistrel / feh            $(ratio "${m[vistrel-100mp]}" "${m[feh-100mp]}")   (<= 0.9)"
echo "  1 MP:   vistrel - bare window    $(diff_ms "${m[vistrel-1mp]}" "${m[bare]}")   (<= +40 ms)"
echo "  first picture, 24 MP: vistrel - bare window   $(diff_ms "${f[vistrel-24mp]}" "${m[bare]}")   (<= +100 ms)"
echo "  first picture, 100 MP: vistrel / feh          $(ratio "${f[vistrel-100mp]}" "${m[feh-100mp]}")   (<= 0.9)"
echo "  first picture, 1 MP: vistrel - bare window    $(diff_ms "${f[vistrel-1mp]}" "${m[bare]}")   (<= +40 ms)"
echo "  20,000-file / 1-file folder      $(ratio "${m[vistrel-many]}" "${m[vistrel-24mp]}")   (<= 1.1)"
for kind in png24 pngalpha12 bmp24; do
  [ -n "${m[vistrel-$kind]:-}" ] || continue
  larger=$(awk -v a="${m[feh-$kind]}" -v b="${m[bare]}" 'BEGIN{print (a > b ? a : b)}')
  echo "  $kind: vistrel / larger of feh and bare window   $(ratio "${m[vistrel-$kind]}" "$larger")   (<= 1.25)"
  echo "  $kind: vistrel - bare window vs feh's start    $(diff_ms "${m[vistrel-$kind]}" "${m[bare]}") vs ${m[feh-$kind]} ms"
done
# The newer formats' target counts each file's own decode, timed here in the same run by the
# viewer's decode in a warm process (decode_bench.exe), after the starts.
declare -A decode
if [ "$formats" -eq 1 ]; then
  decoder=build/windows/bin/decode_bench.exe
  while read -r kind ms; do decode[$kind]=$ms; done < <(
    for kind in webp12 avif12 heic12 jxl12; do
      f=$(ls "$data/formats/$kind"/a.* 2>/dev/null | head -1)
      [ -n "$f" ] || continue
      printf '%s ' "$kind"
      wine "$decoder" "$(windows "$f")" 2>/dev/null | sed -n 's/.* median \([0-9.]*\) ms.*/\1/p'
    done)
  echo "load average after the decodes: $(cut -d' ' -f1-3 /proc/loadavg)"
fi
for kind in webp12 avif12 heic12 jxl12; do
  [ -n "${m[vistrel-$kind]:-}" ] || continue
  d=${decode[$kind]:-nan}
  echo "  $kind: vistrel - bare window   $(diff_ms "${m[vistrel-$kind]}" "${m[bare]}")   (<= its decode $d + 60 ms = $(awk -v d="$d" 'BEGIN{printf "%.0f", d + 60}') ms)"
done
echo "also: 1 MP vistrel / feh $(ratio "${m[vistrel-1mp]}" "${m[feh-1mp]}"), bare window / 24 MP feh $(ratio "${m[bare]}" "${m[feh-24mp]}")"
echo
echo "where a start's time goes, from vistrel.exe's VISTREL_PROFILE (medians of the counted starts, ms after process entry):"
printf '  %-24s' phase; for name in "${names[@]}"; do [[ $name == vistrel-* ]] && printf ' %13s' "$name"; done; echo
phases=$(sed -n 's/^start profile: \(.*[a-z]\) *\(not reached\|[0-9.]* ms\).*/\1/p' "$work"/profile-vistrel-24mp.txt 2>/dev/null |
  awk '!seen[$0]++')
while IFS= read -r phase; do
  [ -n "$phase" ] || continue
  printf '  %-24s' "$phase"
  for name in "${names[@]}"; do
    [[ $name == vistrel-* ]] || continue
    printf ' %13s' "$(grep -a "^start profile: $phase " "$work/profile-$name.txt" 2>/dev/null |
      awk '{print $(NF-1)}' | grep -E '^[0-9.]+$' | sort -g |
      awk '{v[NR]=$1} END {if (NR == 0) print "-"; else if (NR % 2) print v[(NR+1)/2]; else print (v[NR/2]+v[NR/2+1])/2}')"
  done
  echo
done <<<"$phases"
sorted=$(printf '%s\n' "${cleanup_ms[@]}" | sort -g)
echo "cleanup after a Wine run (until only the session's processes were left): median $(
  awk '{v[NR]=$1} END {print v[int((NR+1)/2)]}' <<<"$sorted") ms, longest $(tail -1 <<<"$sorted") ms"
