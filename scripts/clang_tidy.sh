#!/usr/bin/env bash
# Runs clang-tidy, with the checks in .clang-tidy, over the project's own
# sources in the compile database of a build tree (configured with
# -DCMAKE_EXPORT_COMPILE_COMMANDS=ON); fails on any finding.
#   scripts/clang_tidy.sh [BUILD_DIR] [FILE_REGEX]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
if [ ! -f "$dir/compile_commands.json" ]; then
  echo "scripts/clang_tidy.sh: no $dir/compile_commands.json; configure $dir with" \
    "-DCMAKE_EXPORT_COMPILE_COMMANDS=ON" >&2
  exit 2
fi
# The program's own code and its tests; generated sources (moc, resources)
# live in the build tree and are left out.
files=${2:-"^$PWD/(engine|simd|platform|text|settings|job|cli|controls|ui|library|include|python|tests)/"}
run-clang-tidy -p "$dir" -quiet -j "$(nproc)" "$files"
