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
bash scripts/setup.sh test || exit 1
summary+=("set-up: $((SECONDS - started)) s")
started=$SECONDS
have_clang=
# clang with its sanitizer runtimes, for the ThreadSanitizer run and the fuzzers.
printf 'int main() { return 0; }\n' | clang++ -fsanitize=thread -x c++ - -o /tmp/quenfold-clang-check.$$ \
  >/dev/null 2>&1 && have_clang=1
rm -f /tmp/quenfold-clang-check.$$
presets=(native native-release win32 win64)
[ -n "$have_clang" ] && presets+=(tsan)
bash scripts/build.sh "${presets[@]}" || exit 1
summary+=("build (${presets[*]}): $((SECONDS - started)) s")

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
  counts=$(python3 scripts/count-tests.py "$dir/junit.xml" "$dir/test-reports" "$since" \
    "$dir/gtest-programs.txt")
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

# A leg this machine cannot run: its tests are counted as skipped, never as
# passed.
skip_leg() { # skip_leg NAME COUNT WHY
  echo "== skip $1: $3"
  skips=$((skips + $2))
  summary+=("$1: SKIPPED ($2 tests; $3)")
}
# How many ctest tests a leg would have run.
ctest_count() { # ctest_count BUILD_DIR [CTEST ARGS...]
  local dir=$1
  shift
  (cd "$dir" && ctest -N "$@" | sed -n 's/^Total Tests: //p')
}

run_ctest "native (ASan+UBSan)" build/native
if [ -n "$have_clang" ]; then
  run_ctest "native (ThreadSanitizer)" build/tsan -R '^quenfold_tests$'
else
  skip_leg "native (ThreadSanitizer)" 1 "clang or its ThreadSanitizer runtime is not installed"
fi
if command -v doublecmd >/dev/null && command -v Xvfb >/dev/null && command -v openbox >/dev/null &&
  command -v xdotool >/dev/null; then
  run_ctest "Linux edition in Double Commander" build/native-release -L e2e
else
  skip_leg "Linux edition in Double Commander" "$(ctest_count build/native-release -L e2e)" \
    "Double Commander, Xvfb, openbox or xdotool is not installed"
fi

# 32-bit Wine under qemu-user loses track of a thread once a process has a
# second one (qemu gives all threads one descriptor table, so a thread that
# reloads FS after an exception finds the newest thread's TEB):
# there the tests that need threads run their reduced form, and GoogleTest's
# echo of failures and skips to the debugger, an exception, is dropped.
if grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; then
  export QUENFOLD_EMULATED_32=1
fi
for bits in 64 32; do
  preset=win$bits
  started=$SECONDS
  if wine_can_run "$bits"; then
    echo "   Wine ready for $preset in $((SECONDS - started)) s"
    run_ctest "$preset (Wine)" "build/$preset"
  else
    run_ctest "$preset (DLL image only)" "build/$preset" -L static
    skip_leg "$preset (Wine)" "$(ctest_count "build/$preset" -L run)" \
      "no ${bits}-bit Windows program runs under Wine here (see scripts/setup.sh)"
  fi
done

check_windows_package() { local zip; zip=$(bash scripts/package.sh windows) && bash tests/check-package.sh "$zip"; }
check_linux_package() {
  local archive
  archive=$(bash scripts/package.sh linux) &&
    bash tests/check-linux-package.sh "$archive" build/native-release/bin/quenfold-host
}
wine_stop

if [ -n "$have_clang" ]; then
  run_check "fuzzing (20 s a target)" bash scripts/fuzz.sh 20
  run_check "fuzzers confined to their scratch tree" bash fuzz/check-confinement.sh build/fuzz/bin/FuzzFileOps
else
  skip_leg "fuzzing" 2 "clang is not installed"
fi
run_check "release package (Windows)" check_windows_package
run_check "release package (Linux)" check_linux_package
run_check "test counting" bash tests/check-counting.sh
run_check "Wine prefix made again for 32-bit Wine installed since" bash tests/check-wine-prefix.sh
run_check "set-up through a mirror caught mid-sync" bash tests/check-setup.sh

echo
echo "== summary"
printf '  %s\n' "${summary[@]}"
echo "tests: $passed passed, $failed failed, $skips skipped"
exit $status
