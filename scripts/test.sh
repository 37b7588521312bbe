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
run_ctest() { # run_ctest NAME BUILD_DIR [CTEST ARGS...]
  local name=$1 dir=$2
  shift 2
  echo "== test $name"
  if (cd "$dir" && ctest --output-on-failure "$@"); then
    summary+=("$name: passed")
  else
    summary+=("$name: FAILED")
    status=1
  fi
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

echo
echo "== summary"
printf '  %s\n' "${summary[@]}"
exit $status
