#!/usr/bin/env bash
# Builds the libFuzzer targets and runs each for SECONDS (default 30) from the
# seed corpus in fuzz/corpus, as many at a time as there are cores (--jobs N
# to change it). A campaign before a release:
#   fuzz.sh 3600 --merge
# and only some targets: fuzz.sh 600 --merge FuzzNames FuzzListingPaths.
# New inputs go to a scratch copy of the corpus; with --merge the inputs that
# add coverage are merged back into fuzz/corpus. A crash is written to
# build/fuzz/crashes and fails the run.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
merge=
jobs=$(nproc)
targets=()
while [ $# -gt 0 ]; do
  case $1 in
    --merge) merge=1 ;;
    --jobs) jobs=$2; shift ;;
    *) targets+=("$1") ;;
  esac
  shift
done
[ ${#targets[@]} -gt 0 ] || targets=(FuzzNames FuzzListingPaths FuzzFileOps FuzzWalker)
cmake --preset fuzz >/dev/null && cmake --build build/fuzz -j "$(nproc)" >/dev/null || exit 1
mkdir -p build/fuzz/crashes
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Longer inputs than these say nothing a shorter one cannot: FuzzFileOps reads
# three bytes and two names that the host's buffers cut to 259 characters; a
# FuzzWalker tree of 1,024 bytes already nests past every path limit with
# names of 255 characters, or holds hundreds of entries. Left to grow to
# libFuzzer's 4,096 bytes, the walker's inputs slowed it to half its speed
# within five minutes.
max_len_of() {
  case $1 in
    FuzzFileOps) echo 522 ;;
    FuzzWalker) echo 1024 ;;
    *) echo 4096 ;;
  esac
}

# One target: its output in $work/<target>.log, its exit status in .status.
run_target() {
  local target=$1 corpus="$work/$1.corpus"
  mkdir -p "$corpus"
  cp fuzz/corpus/$target/* "$corpus/" 2>/dev/null
  build/fuzz/bin/$target "$corpus" -max_total_time="$seconds" -print_final_stats=1 \
    -max_len="$(max_len_of "$target")" -artifact_prefix=build/fuzz/crashes/$target- \
    >"$work/$target.log" 2>&1
  echo $? >"$work/$target.status"
}

running=0
for target in "${targets[@]}"; do
  if [ $running -ge "$jobs" ]; then
    wait -n
    running=$((running - 1))
  fi
  run_target "$target" &
  running=$((running + 1))
done
wait

status=0
for target in "${targets[@]}"; do
  result=$(cat "$work/$target.status" 2>/dev/null || echo 1)
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$target.log")
  if [ "$result" -eq 0 ]; then
    echo "fuzz $target: ${runs:-0} executions in ${seconds} s, no finding"
  else
    echo "fuzz $target: FINDING after ${runs:-?} executions"
    grep -E 'ERROR|SUMMARY|#[0-9]+ .* in ' "$work/$target.log" | head -n 20
    status=1
  fi
  if [ -n "$merge" ] && [ "$result" -eq 0 ]; then
    mkdir -p "fuzz/corpus/$target"
    build/fuzz/bin/$target -merge=1 "fuzz/corpus/$target" "$work/$target.corpus" >/dev/null 2>&1
    echo "   corpus: $(ls "fuzz/corpus/$target" | wc -l) inputs in fuzz/corpus/$target"
  fi
done
exit $status
