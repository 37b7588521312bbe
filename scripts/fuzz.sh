#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 30) from the
# seed corpus in fuzz/corpus; a campaign before a release:
# fuzz.sh 3600 --merge. New inputs go to a scratch copy of the corpus; with
# --merge the inputs that add coverage are merged back into fuzz/corpus. A
# crash is written to build/fuzz/crashes and fails the run.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
merge=${2:-}
cmake --preset fuzz >/dev/null && cmake --build build/fuzz -j "$(nproc)" >/dev/null || exit 1
mkdir -p build/fuzz/crashes
status=0
for target in FuzzNames FuzzListingPaths FuzzFileOps FuzzWalker; do
  corpus=$(mktemp -d)
  cp fuzz/corpus/$target/* "$corpus/" 2>/dev/null
  output=$(build/fuzz/bin/$target "$corpus" -max_total_time="$seconds" -print_final_stats=1 \
           -artifact_prefix=build/fuzz/crashes/$target- 2>&1)
  result=$?
  runs=$(printf '%s\n' "$output" | sed -n 's/^stat::number_of_executed_units: *//p')
  if [ $result -eq 0 ]; then
    echo "fuzz $target: ${runs:-0} executions in ${seconds} s, no finding"
  else
    echo "fuzz $target: FINDING after ${runs:-?} executions"
    printf '%s\n' "$output" | grep -E 'ERROR|SUMMARY|#[0-9]+ .* in ' | head -n 20
    status=1
  fi
  if [ "$merge" = --merge ] && [ $result -eq 0 ]; then
    mkdir -p "fuzz/corpus/$target"
    build/fuzz/bin/$target -merge=1 "fuzz/corpus/$target" "$corpus" >/dev/null 2>&1
    echo "   corpus: $(ls "fuzz/corpus/$target" | wc -l) inputs in fuzz/corpus/$target"
  fi
  rm -rf "$corpus"
done
exit $status
