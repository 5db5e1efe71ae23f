#!/usr/bin/env bash
# Installs what building and running need, builds the program and its window
# module (no tests) and starts Sievetext. Arguments are passed on to the
# program (two paths run the command-line mode).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh run
scripts/build.sh build-run -DCMAKE_BUILD_TYPE=Release -DSIEVETEXT_BUILD_TESTS=OFF
exec build-run/bin/sievetext "$@"
