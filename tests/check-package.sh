#!/usr/bin/env bash
# Unpacks the release zip and checks it: the auto-install keys, both DLLs at
# the root, and each DLL loading under Wine at its bitness with the version of
# resources/ResourceIds.h (where the machine can run that bitness).
# usage: check-package.sh ZIP
set -uo pipefail
cd "$(dirname "$0")/.."
root=$PWD
zip=$1
source scripts/wine-session.sh
unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"; wine_stop' EXIT
part() { sed -n "s/^#define QUENFOLD_VERSION_$1 \([0-9]*\)$/\1/p" resources/ResourceIds.h; }
version="$(part MAJOR).$(part MINOR).$(part PATCH)"
failed=0
fail() { echo "FAIL: $*"; failed=1; }

unzip -q "$zip" -d "$unpacked" || { echo "FAIL: cannot unpack $zip"; exit 1; }
for file in pluginst.inf Quenfold.wfx Quenfold.wfx64 readme.txt; do
  [ -f "$unpacked/$file" ] || fail "$file is not at the zip's root"
done
inf=$(tr -d '\r' < "$unpacked/pluginst.inf")
[ "$(printf '%s\n' "$inf" | head -n 1)" = "[plugininstall]" ] || fail "no [plugininstall] section"
for key in "type=wfx" "file=Quenfold.wfx" "defaultdir=Quenfold" "version=$version"; do
  printf '%s\n' "$inf" | grep -qx "$key" || fail "pluginst.inf lacks $key"
done
printf '%s\n' "$inf" | grep -q '^description=.' || fail "pluginst.inf lacks a description"
[ "$(basename "$zip")" = "quenfold-$version.zip" ] || fail "zip named $(basename "$zip")"

for bits in 64 32; do
  dll=$unpacked/Quenfold.wfx$([ $bits = 64 ] && echo 64)
  if ! wine_can_run $bits; then
    echo "note: this machine cannot run ${bits}-bit programs; $(basename "$dll") is not loaded here"
    continue
  fi
  wine_start $bits
  info=$("$(wine_loader $bits)" "build/win$bits/bin/quenfold-host.exe" --plugin "Z:${dll//\//\\}" info 2>&1)
  printf '%s\n' "$info" | grep -q "^version: $version.$(part BUILD)" || fail "$(basename "$dll") under Wine: $info"
done
[ $failed -eq 0 ] && echo "ok: $(basename "$zip"): $(cd "$unpacked" && ls | tr '\n' ' ')"
exit $failed
