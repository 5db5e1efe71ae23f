#!/usr/bin/env bash
# Installs what building and running need, builds the program and its window
# module (no tests) and starts Sievetext. Arguments are passed on to the
# program (two paths run the command-line mode), from the folder it was
# started in, so relative paths mean what they say.
set -euo pipefail
caller=$PWD
cd "$(dirname "$0")/.."
root=$PWD
scripts/install-deps.sh run
scripts/build.sh build-run -DCMAKE_BUILD_TYPE=Release -DSIEVETEXT_BUILD_TESTS=OFF
cd "$caller"
exec "$root/build-run/bin/sievetext" "$@"
