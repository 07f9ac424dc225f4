#!/usr/bin/env bash
# Runs every fuzzer of the fuzz build for about SECONDS seconds each (default 60), one after the
# other. A target <name>_fuzzer starts from a copy of its seeds fuzz/corpus/<name>/, its past
# findings fuzz/regressions/<name>/ and the shared test JPEGs when they are there. Exits non-zero
# on any finding; the input that caused it is kept in build/fuzz/findings/<name>/. Build first:
#   cmake --preset fuzz && cmake --build --preset fuzz
# Longer runs: scripts/fuzz.sh 3600 (or VISTREL_FUZZ_SECONDS=3600 scripts/test.sh).
# VISTREL_FUZZ_BUILD names another fuzz build folder; VISTREL_FUZZ_TARGETS="exif jpeg_rows" picks
# targets by name.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
build=${VISTREL_FUZZ_BUILD:-$root/build/fuzz}

targets=()
if [ -n "${VISTREL_FUZZ_TARGETS:-}" ]; then
  read -r -a targets <<<"$VISTREL_FUZZ_TARGETS"
else
  for f in "$build"/fuzz/*_fuzzer; do
    [ -x "$f" ] && targets+=("$(basename "$f" _fuzzer)")
  done
fi
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no fuzzer in $build/fuzz (build the fuzz preset first)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
testdata=$root/../shared/testdata
shared=()
if [ -d "$testdata" ]; then
  while IFS= read -r -d '' f; do shared+=("$f"); done \
    < <(find "$testdata" -type f \( -iname '*.jpg' -o -iname '*.jpeg' -o -iname '*.png' -o -iname '*.bmp' \) -print0)
  echo "fuzz: seeding with ${#shared[@]} shared test pictures (JPEG, PNG, BMP)"
else
  echo "fuzz: no shared test data at $testdata; seeding with the project's corpus only"
fi

failed=()
for name in "${targets[@]}"; do
  fuzzer=$build/fuzz/${name}_fuzzer
  [ -x "$fuzzer" ] || { echo "fuzz: no fuzzer at $fuzzer"; failed+=("$name"); continue; }
  corpus=$work/$name
  findings=$build/findings/$name
  mkdir -p "$corpus" "$findings"
  cp fuzz/corpus/"$name"/* fuzz/regressions/"$name"/* "$corpus/" 2>/dev/null
  n=0
  for f in "${shared[@]}"; do
    n=$((n + 1))
    cp "$f" "$corpus/testdata-$n.jpg"
  done
  # A slow unit is only noted (a busy machine makes them); a unit over -timeout is a finding.
  count() { find "$findings" -type f ! -name 'slow-unit-*' | wc -l; }
  before=$(count)
  # The EXIF reader reads only the bytes before the scan, in segments of at most 64 KiB; the
  # JPEG decoder skips pictures over a megapixel. Longer inputs add little to either, so seeds
  # are cut to this length.
  log=$build/fuzz-$name-last-run.log
  echo "fuzz: $name for ${seconds}s"
  "$fuzzer" "$corpus" -max_total_time="$seconds" -max_len=131072 -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" >"$log" 2>&1
  rc=$?
  grep -E 'INITED|DONE|^stat::|ERROR|SUMMARY|invariant|Slowest unit' "$log"
  [ "$rc" -eq 0 ] || tail -60 "$log"
  after=$(count)
  if [ "$rc" -ne 0 ] || [ "$after" -ne "$before" ]; then
    echo "fuzz: $name FINDING (exit $rc); inputs in $findings/ — add them to fuzz/regressions/$name/"
    failed+=("$name")
  else
    echo "fuzz: $name: no finding in ${seconds}s"
  fi
done
[ ${#failed[@]} -eq 0 ] || { echo "fuzz: findings in: ${failed[*]}"; exit 1; }
echo "fuzz: no finding in ${#targets[@]} targets"
