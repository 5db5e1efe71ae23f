#!/usr/bin/env bash
# Builds the Debian packages from this tree, as Debian builds them
# (dpkg-buildpackage, debhelper's dh with CMake; see debian/), into OUTDIR:
#   sievetext, sievetext-gui, libsievetext1, libsievetext-dev, python3-sievetext
# The tree is copied first (what git tracks or would track), so nothing is
# built or left inside it.
#   scripts/package.sh OUTDIR
# SIEVETEXT_CMAKE_ARGS adds CMake arguments (for example
# -DCMAKE_CXX_COMPILER_LAUNCHER=ccache).
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: scripts/package.sh OUTDIR" >&2; exit 2; }
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
out=$(cd "$1" && pwd)

work=$(mktemp -d /tmp/sievetext-package-XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/sievetext"
# (files deleted but not yet committed are skipped)
(cd "$root" && git ls-files -z --cached --others --exclude-standard |
  tar --null -T - --ignore-failed-read -cf - 2>/dev/null) | tar -xf - -C "$work/sievetext"

cd "$work/sievetext"
export DEB_BUILD_OPTIONS="nocheck noautodbgsym parallel=$(nproc) ${DEB_BUILD_OPTIONS:-}"
export SIEVETEXT_CMAKE_ARGS="${SIEVETEXT_CMAKE_ARGS:-}"
dpkg-buildpackage -b -us -uc >"$work/build.log" 2>&1 || {
  grep -B2 -A12 'CMake Error\|error:' "$work/build.log" | head -n 80 >&2
  tail -n 30 "$work/build.log" >&2
  echo "scripts/package.sh: dpkg-buildpackage failed (log above)" >&2
  exit 1
}
cp "$work"/*.deb "$out"/
ls "$work"/*.deb | xargs -n1 basename
