#!/usr/bin/env bash
# Zoom, drag and turn on a shown picture, timed from outside the process for Vistrel and feh in
# the same run: bench/x11/interact sends the input with XTest and watches the window's client
# area. Vistrel runs maximised in a 1600 x 1000 Wine desktop of its own (as a Linux shell starts
# it), feh over the same screen area; each waits until it shows the fitted picture, then:
#   z   Up from the fitted view (one zoom step: 1.2 x fitted for both)
#   p   a drag with the left button at 1.2 x and at 3 x fitted: 40 moves of (7, 4) px, one every
#       30 ms, reversing after every 10 (feh stops the picture at its edges)
#   t   a quarter turn clockwise from the fitted view (Vistrel R, feh >); and for Vistrel a second
#       turn with C (background colour) pressed 20 ms after R, timed until the margin changes
# Rounds alternate the order of the viewers; the figures are medians of the rounds.
# Called by `bench/e2e.sh --interactions`, which builds the helper and starts Xvfb (DISPLAY) and
# sets the Wine prefix (WINEPREFIX and the rest).
# Usage: bench/interactions.sh OUT_DIR [--rounds N]   (VISTREL_EXE: the viewer, default
#        build/windows/bin/vistrel.exe)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
out=${1:?usage: bench/interactions.sh OUT_DIR [--rounds N]}
rounds=3
[ "${2:-}" = "--rounds" ] && rounds=${3:?}
exe=$(realpath "${VISTREL_EXE:-build/windows/bin/vistrel.exe}")
helper=$out/interact
work=$out/interactions
mkdir -p "$work" "$out/data/interact"
rm -f "$work"/*.txt
[ -x "$helper" ] || { echo "missing $helper (bench/e2e.sh builds it)" >&2; exit 1; }
[ -f "$exe" ] || { echo "missing $exe" >&2; exit 1; }
area=1600x981+0+19  # the maximised window's client area in the 1600 x 1000 desktop
settings=$WINEPREFIX/drive_c/ProgramData/vistrel.settings
windows() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; }

# A photo-like plasma with grain, as bench/e2e.sh makes its pictures, built in four strips since
# ImageMagick's pixel cache here is capped below 100 MP; encoded by cjpeg.
photo() {
  local w=$1 h=$2 tmp=$3.plasma.ppm s
  convert -size $((w / 8))x$((h / 8)) plasma:fractal "$tmp" || return 1
  {
    printf 'P6\n%d %d\n255\n' "$w" "$h"
    for s in 0 1 2 3; do
      convert "$tmp" -crop $((w / 8))x$((h / 32))+0+$((s * h / 32)) +repage -resize "${w}x$((h / 4))!" \
        -attenuate 0.3 +noise Gaussian -depth 8 ppm:- | tail -c $((w * h * 3 / 4))
    done
  } | cjpeg -quality 90 >"$3.partial" && mv "$3.partial" "$3"
  local made=$?
  rm -f "$tmp"
  return $made
}
# bench/e2e.sh's own pictures when they are there, else ours.
declare -A picture
for size in 24mp:6000x4000 100mp:12000x8400; do
  name=${size%%:*} dims=${size#*:}
  picture[$name]=$out/data/pictures/$name-1.jpg
  if [ ! -f "${picture[$name]}" ]; then
    picture[$name]=$out/data/interact/$name.jpg
    [ -f "${picture[$name]}" ] || photo "${dims%x*}" "${dims#*x}" "${picture[$name]}" || exit 1
  fi
done

source bench/wine_session.sh
fresh_wine_session

# What each step's line of the helper's output is called, in order.
steps="ready fitted z zoom1 p1 z3 zoom3 p3 fit t tc"
# One viewer on one picture: starts it, runs every step in one helper call, ends it.
run_one() {
  local viewer=$1 size=$2 round=$3 log=$work/$1-$2-$3.txt pid
  local drag=(point 765 470 drag 40 7 4 30 10) centre=(point 800 490)
  # Vistrel draws a 100 MP turn twice, the second time over half a second after the first.
  local turn=(quiet 2500)
  if [ "$viewer" = vistrel ]; then
    rm -f "$settings"
    wine explorer "/desktop=interact$round-$size,1600x1000" "$exe" "$(windows "${picture[$size]}")" >/dev/null 2>&1 &
    pid=$!
    # Steps of 0.2 of the fitted size: 9 more reach 3.0; Down back to the fitted 1.0.
    "$helper" --area "$area" --timeout-ms 60000 ready 2000 names "${centre[@]}" key Up names "${drag[@]}" \
      "${centre[@]}" key Up 9 names "${drag[@]}" "${centre[@]}" key Down 12 "${turn[@]}" key r key r "then" c 20 5 490 \
      >"$log"
  else
    # --zoom-step 20 makes each step 1.2 x the last: 5 more reach 2.99; / fits again.
    feh --geometry "$area" --scale-down --zoom-step 20 --image-bg black --no-menus --title %Z "${picture[$size]}" \
      >/dev/null 2>&1 &
    pid=$!
    "$helper" --area "$area" --timeout-ms 60000 ready 2000 names "${centre[@]}" key Up names "${drag[@]}" \
      "${centre[@]}" key Up 5 names "${drag[@]}" "${centre[@]}" key slash "${turn[@]}" key greater >"$log"
  fi
  local failed=$?
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  [ "$viewer" = vistrel ] && { end_wine_run || exit 1; }
  [ "$failed" -eq 0 ] || echo "! $viewer $size round $round: a step failed, see $log" >&2
  # "STEP.FIELD VALUE" a line, into the figures of this viewer and picture.
  # A names line gives feh's zoom, its window's only name.
  awk -v steps="$steps" '{split(steps, s, " ")}
    $1 == "names" {gsub(/^names \[|\].*$/, ""); print s[NR] ".names", $0; next}
    {for (i = 2; i < NF; i += 2) print s[NR] "." $i, $(i + 1)}' "$log" >>"$work/$viewer-$size.txt"
}

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
for round in $(seq 1 "$rounds"); do
  for size in 24mp 100mp; do
    if [ $((round % 2)) -eq 1 ]; then order=(vistrel feh); else order=(feh vistrel); fi
    for viewer in "${order[@]}"; do run_one "$viewer" "$size" "$round"; done
  done
  echo "round $round done, load $(cut -d' ' -f1 /proc/loadavg)"
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

# Median of one figure over the rounds; "-" when no round gave it.
figure() {
  awk -v key="$3" '$1 == key && $2 >= 0 {print $2}' "$work/$1-$2.txt" 2>/dev/null | sort -g |
    awk '{v[NR] = $1} END {if (NR == 0) print "-"; else if (NR % 2) print v[(NR + 1) / 2];
                           else print (v[NR / 2] + v[NR / 2 + 1]) / 2}'
}
row() {  # LABEL KEY [UNIT]
  local size v f
  printf '  %-44s' "$1"
  for size in 24mp 100mp; do
    v=$(figure vistrel "$size" "$2") f=$(figure feh "$size" "$2")
    printf ' %9s %9s %7s' "$v" "$f" "$(awk -v a="$v" -v b="$f" 'BEGIN {
      if (a == "-" || b == "-" || b == 0) print "-"; else printf "%.2f", a / b}')"
  done
  echo
}
echo
echo "medians of $rounds rounds; times in ms from the input sent; frames per second seen on screen"
printf '  %-44s %27s %27s\n' "" "24 MP (6000 x 4000)" "100 MP (12000 x 8400)"
printf '  %-44s' figure; for _ in 1 2; do printf ' %9s %9s %7s' vistrel feh v/f; done; echo
row "z  Up from fitted: first change" z.first_ms
row "z  Up from fitted: final still screen" z.last_ms
row "p  drag at 1.2x: frames per second" p1.fps
row "p  drag at 1.2x: move -> screen, median" p1.latency_median_ms
row "p  drag at 1.2x: move -> screen, worst" p1.latency_worst_ms
row "p  drag at 3x: frames per second" p3.fps
row "p  drag at 3x: move -> screen, median" p3.latency_median_ms
row "p  drag at 3x: move -> screen, worst" p3.latency_worst_ms
row "t  turn from fitted: first change" t.first_ms
row "t  turn from fitted: final still screen" t.last_ms
echo "  (the final screen is the last change before 500 ms without one, 2500 ms for turns)"
echo "  the screen was read every $(figure vistrel 24mp p1.period_ms) / $(figure feh 24mp p1.period_ms) ms" \
  "(24 MP) and $(figure vistrel 100mp p1.period_ms) / $(figure feh 100mp p1.period_ms) ms (100 MP) while" \
  "dragging at 1.2x, vistrel / feh"
echo
for size in 24mp 100mp; do
  printf '%s: drag moves followed by a change on screen (of 40): vistrel %s / %s, feh %s / %s (1.2x / 3x)\n' "$size" \
    "$(figure vistrel "$size" p1.answered)" "$(figure vistrel "$size" p3.answered)" \
    "$(figure feh "$size" p1.answered)" "$(figure feh "$size" p3.answered)"
  fitted=$(figure feh "$size" fitted.names)
  echo "$size: feh's zoom over its fitted zoom $fitted: one Up $(awk -v z="$(figure feh "$size" zoom1.names)" \
    -v f="$fitted" 'BEGIN {printf "%.3f", z / f}'), six Ups $(awk -v z="$(figure feh "$size" zoom3.names)" \
    -v f="$fitted" 'BEGIN {printf "%.3f", z / f}') (vistrel: 1.2 and 3.0)"
  echo "$size: vistrel, C pressed 20 ms after R (a second turn): margin colour changed" \
    "$(figure vistrel "$size" tc.probe_ms) ms after R; that turn's final screen $(figure vistrel "$size" tc.last_ms) ms"
done
