#!/usr/bin/env bash
# Installs what is missing, builds Sievetext and starts it. Arguments are passed
# on to the program (two paths run the command-line mode).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build -DCMAKE_BUILD_TYPE=Release
exec build/bin/sievetext "$@"
