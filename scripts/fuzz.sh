#!/usr/bin/env bash
# Runs the EXIF reader's fuzzer for about SECONDS seconds (default 60) over a copy of the
# seed corpus, plus the shared test JPEGs when they are there. Exits non-zero on any finding;
# the input that caused it is kept in build/fuzz/findings/. Build it first:
#   cmake --preset fuzz && cmake --build --preset fuzz
# Longer runs: scripts/fuzz.sh 3600 (or VISTREL_FUZZ_SECONDS=3600 scripts/test.sh).
# VISTREL_FUZZ_BUILD names another fuzz build folder.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
seconds=${1:-60}
build=${VISTREL_FUZZ_BUILD:-$root/build/fuzz}
fuzzer=$build/fuzz/exif_fuzzer
[ -x "$fuzzer" ] || { echo "fuzz: no fuzzer at $fuzzer (build the fuzz preset first)"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus" "$build/findings"
cp fuzz/corpus/* fuzz/regressions/* "$work/corpus/" 2>/dev/null
testdata=$root/../shared/testdata
if [ -d "$testdata" ]; then
  n=0
  while IFS= read -r -d '' f; do
    n=$((n + 1))
    cp "$f" "$work/corpus/testdata-$n.jpg"
  done < <(find "$testdata" -type f \( -iname '*.jpg' -o -iname '*.jpeg' \) -print0)
  echo "fuzz: seeded with $n shared test JPEGs"
else
  echo "fuzz: no shared test data at $testdata; seeding with the project's corpus only"
fi

before=$(ls "$build/findings" | wc -l)
# Segments are at most 64 KiB and only the bytes before the scan are read, so longer inputs
# add nothing; seeds are cut to this length.
log=$build/fuzz-last-run.log
"$fuzzer" "$work/corpus" -max_total_time="$seconds" -max_len=131072 -timeout=10 \
  -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$build/findings/" >"$log" 2>&1
rc=$?
grep -E 'INITED|DONE|^stat::|ERROR|SUMMARY|invariant' "$log"
[ "$rc" -eq 0 ] || tail -60 "$log"
after=$(ls "$build/findings" | wc -l)
if [ "$rc" -ne 0 ] || [ "$after" -ne "$before" ]; then
  echo "fuzz: FINDING (exit $rc); inputs in $build/findings/ — add them to fuzz/regressions/"
  exit 1
fi
echo "fuzz: no finding in ${seconds}s"
