#!/usr/bin/env bash
# Builds and packs the releases, printing each archive's path:
# - dist/quenfold-VERSION.zip: the two DLLs, a short readme and Total
#   Commander's auto-install file at the zip's root, so that opening the zip in
#   Total Commander offers to install the plugin;
# - dist/quenfold-linux-x86_64-VERSION.tar.gz: the Linux edition for Double
#   Commander and its readme.
# usage: package.sh [windows] [linux]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
part() { sed -n "s/^#define QUENFOLD_VERSION_$1 \([0-9]*\)$/\1/p" resources/ResourceIds.h; }
# The version resource is fed from the same header.
version="$(part MAJOR).$(part MINOR).$(part PATCH)"
[ "$version" != ".." ] || { echo "cannot read the version from resources/ResourceIds.h" >&2; exit 1; }

editions=("$@")
[ ${#editions[@]} -gt 0 ] || editions=(windows linux)

package_linux() {
  cmake --preset native-release >/dev/null
  cmake --build build/native-release --target quenfold -j "$(nproc)" >/dev/null
  local stage
  stage=$(mktemp -d)
  mkdir "$stage/quenfold"
  cp build/native-release/bin/Quenfold.wfx "$stage/quenfold/"
  strip --strip-unneeded "$stage/quenfold/Quenfold.wfx"
  sed "s/@VERSION@/$version/" resources/readme-linux.txt > "$stage/quenfold/readme.txt"
  mkdir -p dist
  local archive="dist/quenfold-linux-x86_64-$version.tar.gz"
  tar -C "$stage" --owner=0 --group=0 -czf "$archive" quenfold
  rm -rf "$stage"
  echo "$archive"
}

for edition in "${editions[@]}"; do
  [ "$edition" = linux ] && package_linux
done
[[ " ${editions[*]} " == *" windows "* ]] || exit 0

for preset in win32 win64; do
  cmake --preset "$preset" >/dev/null
  cmake --build "build/$preset" --target quenfold -j "$(nproc)" >/dev/null
done

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
cp build/win32/bin/Quenfold.wfx build/win64/bin/Quenfold.wfx64 "$stage/"
description=$(sed -n 's/^#define QUENFOLD_DESCRIPTION "\(.*\)"$/\1/p' resources/ResourceIds.h)
printf '%s\r\n' "[plugininstall]" \
  "description=$description: any directory as one flat list" \
  "type=wfx" "file=Quenfold.wfx" "defaultdir=Quenfold" "version=$version" > "$stage/pluginst.inf"
sed "s/@VERSION@/$version/" resources/readme.txt | sed 's/$/\r/' > "$stage/readme.txt"

mkdir -p dist
zip="dist/quenfold-$version.zip"
rm -f "$zip"
(cd "$stage" && zip -q -X "$OLDPWD/$zip" pluginst.inf Quenfold.wfx Quenfold.wfx64 readme.txt)
echo "$zip"
