#!/usr/bin/env bash
# The main job: installs what is missing, builds the 64-bit plugin and lists a
# directory flat through the real Quenfold.wfx64 under Wine, as Total
# Commander would. usage: run.sh [DIRECTORY] (default: this repository)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
directory=$(cd "${1:-$root}" && pwd)
source scripts/wine-session.sh
trap wine_stop EXIT

bash scripts/setup.sh main
cmake --preset win64 >/dev/null
cmake --build build/win64 --target quenfold-host wine-probe -j "$(nproc)"
if ! wine_can_run 64; then
  echo "run: 64-bit Wine does not run Windows programs here (see scripts/setup.sh)" >&2
  exit 1
fi
# Wine shows the Unix file system as drive Z:.
windows_path="Z:${directory//\//\\}"
echo "== quenfold-host list $windows_path (through Quenfold.wfx64 under Wine)"
"$(wine_loader 64)" build/win64/bin/quenfold-host.exe list "$windows_path"
