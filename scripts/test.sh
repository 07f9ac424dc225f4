#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test:
# native (platform-free code under ASan + UBSan), windows (Wine: unit and end-to-end tests),
# and a bounded libFuzzer run of every fuzzer (see README).
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
scripts/deps.sh || exit 1
source scripts/display.sh

failed=()
summary=$(mktemp)
trap 'rm -f "$summary"; [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null; [ -n "${VISTREL_XVFB_PID:-}" ] && kill "$VISTREL_XVFB_PID" 2>/dev/null' EXIT

run_ctest() {
  local preset=$1 log
  log=$(mktemp)
  ctest --preset "$preset" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -1 >> "$summary"
  rm -f "$log"
  return "$rc"
}

echo "== native =="
if cmake --preset native >/dev/null && cmake --build --preset native; then
  run_ctest native || failed+=(native)
else
  failed+=(native-build)
fi

echo "== windows =="
if cmake --preset windows >/dev/null && cmake --build --preset windows; then
  vistrel_xvfb || exit 1
  export WINEPREFIX=$root/build/windows/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  cmake/wine-prefix.sh "$WINEPREFIX"
  # One persistent wineserver for the whole run: each test process then starts in tens of ms.
  wineserver -p
  # Keep the virtual desktop up for the whole run, so test processes join it instead of
  # creating and tearing it down each time.
  wine explorer /desktop=Default,1600x1000 >/dev/null 2>&1 &
  sleep 2
  run_ctest windows || failed+=(windows)
else
  failed+=(windows-build)
fi

echo "== fuzz =="
if [ -f fuzz/CMakeLists.txt ]; then
  if cmake --preset fuzz >/dev/null && cmake --build --preset fuzz; then
    scripts/fuzz.sh "${VISTREL_FUZZ_SECONDS:-60}" || failed+=(fuzz)
  else
    failed+=(fuzz-build)
  fi
fi

passed=0; fails=0
while read -r line; do
  t=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  f=$(sed -E 's/.*tests passed, ([0-9]+) tests failed.*/\1/' <<<"$line")
  passed=$((passed + t - f)); fails=$((fails + f))
done < "$summary"
[ ${#failed[@]} -eq 0 ] || echo "failed steps: ${failed[*]}"
[ ${#failed[@]} -eq 0 ] && [ "$fails" -eq 0 ] || { echo "tests: $passed passed, $((fails > 0 ? fails : 1)) failed"; exit 1; }
echo "tests: $passed passed, 0 failed"
