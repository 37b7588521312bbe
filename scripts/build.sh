#!/usr/bin/env bash
# Configures and builds the given presets (default: native win32 win64).
set -euo pipefail
cd "$(dirname "$0")/.."
presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(native win32 win64)
for preset in "${presets[@]}"; do
  echo "== build $preset"
  cmake --preset "$preset" -DQUENFOLD_TESTS=ON -DQUENFOLD_BENCH=ON >/dev/null
  cmake --build "build/$preset" -j "$(nproc)"
done
