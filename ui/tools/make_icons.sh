#!/usr/bin/env bash
# Renders the program's icon at every size the desktop's icon theme looks for,
# from the one drawing ui/icons/sievetext.svg, into ui/icons/hicolor/. The
# results are committed; run this again after changing the drawing. Needs
# rsvg-convert (Debian package librsvg2-bin).
#
#   ui/tools/make_icons.sh [TARGET_DIR]     (default: ui/icons/hicolor)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
source_svg="$here/icons/sievetext.svg"
target=${1:-$here/icons/hicolor}

for size in 16 24 32 48 64 128 256; do
  mkdir -p "$target/${size}x${size}/apps"
  rsvg-convert --width "$size" --height "$size" --format png \
    --output "$target/${size}x${size}/apps/sievetext.png" "$source_svg"
done
