#!/usr/bin/env bash
# The window's desktop files: the icons rendered from their one drawing at
# every size, the AppStream metadata valid (offline: the web site's address
# cannot be reached from a test).
#   desktop_files_test.sh SOURCE_DIR METAINFO VERSION
set -euo pipefail
source_dir=$1
metainfo=$2
version=$3
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

png_size() {  # width x height from the PNG header
  local bytes
  bytes=$(od -An -tu1 -j16 -N8 "$1" | tr -s ' \n' ' ')
  set -- $bytes
  echo "$(( ($1 << 24) + ($2 << 16) + ($3 << 8) + $4 ))x$(( ($5 << 24) + ($6 << 16) + ($7 << 8) + $8 ))"
}

icons="$source_dir/ui/icons/hicolor"
for size in 16 24 32 48 64 128 256; do
  png="$icons/${size}x${size}/apps/sievetext.png"
  [ -f "$png" ] || fail "no $size-pixel icon"
  [ "$(png_size "$png")" = "${size}x${size}" ] || fail "$png is $(png_size "$png")"
done
[ "$(find "$icons" -type f | wc -l)" -eq 7 ] || fail "stray files under $icons"

# The committed icons are what the script makes of the drawing today.
"$source_dir/ui/tools/make_icons.sh" "$work/icons"
diff -r "$work/icons" "$icons" >/dev/null ||
  fail "icons differ from ui/icons/sievetext.svg; run ui/tools/make_icons.sh"

appstreamcli validate --no-net "$metainfo" || fail "AppStream metadata"
grep -q '<launchable type="desktop-id">sievetext.desktop</launchable>' "$metainfo" ||
  fail "metadata does not name the desktop entry"
newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n1 | cut -d'"' -f2)
[ "$newest" = "$version" ] || fail "newest release in the metadata is $newest, the program is $version"
[ -f "$source_dir/ui/sievetext.desktop" ] || fail "the desktop entry is not ui/sievetext.desktop"
echo "desktop files test passed"
