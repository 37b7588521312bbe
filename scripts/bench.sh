#!/usr/bin/env bash
# Generates the benchmark trees (once) and runs the listing benchmark natively
# and under Wine at each bitness the machine can run, then prints one table:
# the usual tree, and a deep one whose absolute paths pass 1,500 characters
# (walked bare through the literal \\?\ form on Windows); then the transfer
# benchmark: copy-outs through the plugin against cp (and
# under Wine against CopyFileA), on the ordinary disk and on a tmpfs.
# usage: bench.sh [--files N] [--dirs N] [--depth N] [--rounds N] [--only listing|transfers]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
files=100000 dirs=10000 depth=6 rounds=5 only=
while [ $# -gt 1 ]; do
  case "$1" in
    --files) files=$2 ;; --dirs) dirs=$2 ;; --depth) depth=$2 ;; --rounds) rounds=$2 ;;
    --only) only=$2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
  shift 2
done
source scripts/wine-session.sh
trap wine_stop EXIT

bash scripts/setup.sh
for preset in native-release win64 win32; do
  cmake --preset "$preset" -DQUENFOLD_TESTS=OFF -DQUENFOLD_BENCH=ON >/dev/null
  cmake --build "build/$preset" -j "$(nproc)" >/dev/null
done

# Copy-outs of 512 MiB of data and of a 1 GiB sparse file, and what the
# progress callback costs.
transfers() {
  local places=("${TMPDIR:-/tmp}")
  [ "$(stat -f -c %T /dev/shm 2>/dev/null)" = tmpfs ] && places+=(/dev/shm)
  for place in "${places[@]}"; do
    local dir="$place/quenfold-transfer-bench"
    mkdir -p "$dir"
    echo "== transfers, native, in $dir ($(stat -f -c %T "$dir"))"
    build/native-release/bin/quenfold-transfer-bench "$dir" --rounds "$rounds"
    rm -rf "$dir"
  done
  for bits in 64 32; do
    if wine_can_run "$bits"; then
      local dir="${TMPDIR:-/tmp}/quenfold-transfer-bench"
      mkdir -p "$dir"
      echo "== transfers, win$bits (Wine), in $dir"
      "$(wine_loader "$bits")" "build/win$bits/bin/quenfold-transfer-bench.exe" "Z:${dir//\//\\}" \
        --rounds "$rounds" | tr -d '\r'
      rm -rf "$dir"
    fi
  done
}
if [ "$only" = transfers ]; then
  transfers
  exit 0
fi

# make_tree NAME ARGS...: the tree's path, generated unless a run made it.
make_tree() {
  local tree=${TMPDIR:-/tmp}/quenfold-bench-$1
  shift
  if [ ! -f "$tree.done" ]; then
    rm -rf "$tree"
    build/native-release/bin/quenfold-maketree "$tree" "$@" >&2
    touch "$tree.done"
  fi
  echo "$tree"
}
usual=$(make_tree "$files-$dirs-$depth" --files "$files" --dirs "$dirs" --depth "$depth")
deep=$(make_tree "deep-$files" --files "$((files / 5))" --dirs 1000 --depth 25 --name-length 60)

results=$(mktemp)
for kind in usual deep; do
  tree=${!kind}
  literal=()
  [ "$kind" = deep ] && literal=(--literal)
  echo "== native, $kind tree"
  build/native-release/bin/quenfold-bench "$tree" --rounds "$rounds" --compare-tools |
    tee "$results.native-$kind"
  for bits in 64 32; do
    if wine_can_run "$bits"; then
      echo "== win$bits (Wine), $kind tree"
      # Wine ends its lines with CR; the table below reads plain lines.
      "$(wine_loader "$bits")" "build/win$bits/bin/quenfold-bench.exe" "Z:${tree//\//\\}" \
        --rounds "$rounds" "${literal[@]}" | tr -d '\r' | tee "$results.win$bits-$kind"
    else
      echo "== win$bits: this machine cannot run ${bits}-bit programs; skipped"
    fi
  done
done

# Where the kernel cannot run 32-bit programs, 32-bit Wine runs under qemu:
# its absolute times are the emulator's, while its ratio still compares the
# plugin with a bare walk under the same emulation.
emulated() { [ "$1" = win32 ] && grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null; }

echo
printf '%-8s %-6s %12s %12s %8s %12s\n' platform tree "plugin (s)" "bare (s)" ratio allocations
for run in native-usual win64-usual win32-usual native-deep win64-deep win32-deep; do
  platform=${run%-*}
  [ -f "$results.$run" ] || continue
  sed -n 's/^median of [0-9]* rounds: plugin \([0-9.]*\) s, bare \([0-9.]*\) s, ratio \([0-9.]*\)$/\1 \2 \3/p' "$results.$run" |
    while read -r plugin bare ratio; do
      allocations=$(sed -n 's/.*allocations per listing \([0-9]*\).*/\1/p' "$results.$run")
      note=""
      emulated "$platform" && note="  (times under qemu emulation)"
      printf '%-8s %-6s %12s %12s %8s %12s%s\n' "$platform" "${run#*-}" "$plugin" "$bare" "$ratio" "$allocations" "$note"
    done
done
grep -h '^du' "$results.native-usual" | sed 's/^/native:  /' || true
rm -f "$results" "$results".*
[ "$only" = listing ] || transfers
