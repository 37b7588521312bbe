#!/usr/bin/env bash
# Renders docs/flat-listing.png: a small sample tree listed flat by
# quenfold-host through the real Quenfold.wfx64 under Wine, as text on a
# terminal-like background. Needs ImageMagick and the DejaVu fonts (not part
# of the set-up: only the README's picture uses them).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
sample=$(mktemp -d)
trap 'rm -rf "$sample"; wine_stop' EXIT
source scripts/wine-session.sh
mkdir -p "$sample/data/photos/2025" "$sample/data/reports/q1" "$sample/data/empty"
truncate -s 2048000 "$sample/data/photos/2025/beach.jpg"
truncate -s 1500000 "$sample/data/photos/2025/city.jpg"
truncate -s 120000 "$sample/data/reports/q1/summary.pdf"
truncate -s 4200 "$sample/data/reports/notes.txt"
truncate -s 300 "$sample/data/readme.md"
wine_start 64
windows_path="Z:${sample//\//\\}\\data"
text=$(printf '> quenfold-host list %s\n\n' 'C:\data'
       "$(wine_loader 64)" build/win64/bin/quenfold-host.exe --quiet list "$windows_path" | tr -d '\r')
/usr/bin/convert -background '#1e2430' -fill '#d8dee9' -font DejaVu-Sans-Mono -pointsize 16 \
  -border 18 -bordercolor '#1e2430' label:"${text//\\/\\\\}" docs/flat-listing.png
echo docs/flat-listing.png
