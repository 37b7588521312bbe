#!/usr/bin/env bash
# Installs what is missing, builds every preset and runs every test: natively
# under AddressSanitizer and UndefinedBehaviorSanitizer, the Linux edition in
# the real Double Commander, and under Wine against the real 64-bit and 32-bit
# DLLs (32-bit Wine through qemu where the kernel cannot run 32-bit programs).
# The closing line counts what the test runners reported.
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/wine-session.sh
trap wine_stop EXIT

status=0
summary=()
started=$SECONDS
bash scripts/setup.sh || exit 1
summary+=("set-up: $((SECONDS - started)) s")
started=$SECONDS
bash scripts/build.sh native native-release tsan win32 win64 || exit 1
summary+=("build (native, native-release, tsan, win32, win64): $((SECONDS - started)) s")

passed=0
failed=0
skips=0

# One leg: a ctest run whose results (ctest's own, and each test program's
# GoogleTest report written during this run) are added to the counts.
run_ctest() { # run_ctest NAME BUILD_DIR [CTEST ARGS...]
  local name=$1 dir=$2
  shift 2
  echo "== test $name"
  local started=$SECONDS
  rm -rf "$dir/test-reports" "$dir/junit.xml"
  local since
  since=$(date +%s)
  (cd "$dir" && ctest --output-on-failure --output-junit "$root/$dir/junit.xml" "$@")
  local result=$?
  local counts
  counts=$(python3 scripts/count-tests.py "$dir/junit.xml" "$dir/test-reports" "$since")
  set -- $counts
  passed=$((passed + $1))
  failed=$((failed + $2))
  skips=$((skips + $3))
  local verdict=passed
  if [ $result -ne 0 ] || [ "$2" -ne 0 ]; then
    verdict=FAILED
    status=1
  fi
  summary+=("$name: $verdict ($1 passed, $2 failed, $3 skipped; $((SECONDS - started)) s)")
}

# One more test, passed when COMMAND succeeds.
run_check() { # run_check NAME COMMAND...
  local name=$1
  shift
  echo "== test $name"
  local started=$SECONDS
  if "$@"; then
    summary+=("$name: passed ($((SECONDS - started)) s)")
    passed=$((passed + 1))
  else
    summary+=("$name: FAILED ($((SECONDS - started)) s)")
    failed=$((failed + 1))
    status=1
  fi
}

run_ctest "native (ASan+UBSan)" build/native
run_ctest "native (ThreadSanitizer)" build/tsan -R '^quenfold_tests$'
run_ctest "Linux edition in Double Commander" build/native-release -L e2e

# 32-bit Wine under qemu-user has crashed with two busy threads in one
# process; the tests that need threads then run their reduced form.
if grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
  export QUENFOLD_EMULATED_32=1
fi
for bits in 64 32; do
  preset=win$bits
  if wine_can_run "$bits"; then
    started=$SECONDS
    wine_start "$bits"
    echo "   Wine ready for $preset in $((SECONDS - started)) s"
    run_ctest "$preset (Wine)" "build/$preset"
  else
    echo "== $preset: this machine cannot run ${bits}-bit programs, not even through qemu"
    echo "   (see scripts/setup.sh); checking the DLL image only."
    run_ctest "$preset (DLL image only; no ${bits}-bit Wine here)" "build/$preset" -L static
  fi
done

check_windows_package() { local zip; zip=$(bash scripts/package.sh windows) && bash tests/check-package.sh "$zip"; }
check_linux_package() {
  local archive
  archive=$(bash scripts/package.sh linux) &&
    bash tests/check-linux-package.sh "$archive" build/native-release/bin/quenfold-host
}
wine_stop

run_check "fuzzing (20 s a target)" bash scripts/fuzz.sh 20
run_check "fuzzers confined to their scratch tree" bash fuzz/check-confinement.sh build/fuzz/bin/FuzzFileOps
run_check "release package (Windows)" check_windows_package
run_check "release package (Linux)" check_linux_package
run_check "test counting" bash tests/check-counting.sh

echo
echo "== summary"
printf '  %s\n' "${summary[@]}"
echo "tests: $passed passed, $failed failed, $skips skipped"
exit $status
