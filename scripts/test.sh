#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: natively
# under AddressSanitizer and UndefinedBehaviorSanitizer, and under Wine against
# the real 64-bit and 32-bit DLLs.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/wine-session.sh
trap wine_stop EXIT

bash scripts/setup.sh || exit 1
bash scripts/build.sh native win32 win64 || exit 1

status=0
summary=()
passed=0
failed=0
skips=0
# Counts test cases: each GoogleTest case from the programs' reports, each
# other ctest test (the script checks) as one.
count_results() { # count_results BUILD_DIR CTEST_LOG
  local reports=$1/test-reports
  local programs=0
  for report in "$reports"/*.xml; do
    [ -f "$report" ] || continue
    programs=$((programs + 1))
    local head
    head=$(grep -m1 '<testsuites ' "$report")
    local tests failures skipped
    tests=$(printf '%s' "$head" | sed -n 's/.* tests="\([0-9]*\)".*/\1/p')
    failures=$(printf '%s' "$head" | sed -n 's/.* failures="\([0-9]*\)".*/\1/p')
    skipped=$(grep -c 'result="skipped"' "$report")
    passed=$((passed + tests - failures - skipped))
    failed=$((failed + failures))
    skips=$((skips + skipped))
  done
  # ctest tests that are not GoogleTest programs.
  local counts
  counts=$(sed -n 's/.* tests passed, \([0-9]*\) tests failed out of \([0-9]*\)$/\1 \2/p' "$2" | tail -n 1)
  if [ -n "$counts" ]; then
    set -- $counts
    local others=$(($2 - programs))
    [ $others -gt 0 ] && passed=$((passed + others))
  fi
}

run_ctest() { # run_ctest NAME BUILD_DIR [CTEST ARGS...]
  local name=$1 dir=$2
  shift 2
  echo "== test $name"
  rm -rf "$dir/test-reports"
  local log
  log=$(mktemp)
  if (cd "$dir" && ctest --output-on-failure "$@") 2>&1 | tee "$log"; [ "${PIPESTATUS[0]}" = 0 ]; then
    summary+=("$name: passed")
  else
    summary+=("$name: FAILED")
    status=1
  fi
  count_results "$dir" "$log"
  rm -f "$log"
}

run_ctest native build/native

for bits in 64 32; do
  preset=win$bits
  if wine_can_run "$bits"; then
    wine_start "$root/build/$preset" "$bits"
    run_ctest "$preset (Wine)" "build/$preset"
    wine_stop
  else
    echo "== $preset: this machine cannot execute ${bits}-bit programs, so Wine cannot load"
    echo "   the ${bits}-bit plugin here; checking the DLL image only."
    run_ctest "$preset (DLL image only; no ${bits}-bit Wine here)" "build/$preset" -L static
  fi
done

run_check() { # run_check NAME COMMAND...: one more test, passed when COMMAND succeeds
  local name=$1
  shift
  echo "== test $name"
  if "$@"; then
    summary+=("$name: passed")
    passed=$((passed + 1))
  else
    summary+=("$name: FAILED")
    failed=$((failed + 1))
    status=1
  fi
}
check_package() { local zip; zip=$(bash scripts/package.sh) && bash tests/check-package.sh "$zip"; }

run_check "fuzzing (20 s a target)" bash scripts/fuzz.sh 20
run_check "release package" check_package

echo
echo "== summary"
printf '  %s\n' "${summary[@]}"
echo "tests: $passed passed, $failed failed, $skips skipped"
exit $status
