#!/usr/bin/env bash
# Builds the WebAssembly converter into the npm package and the page:
#   scripts/build-web.sh OUTDIR
# gives OUTDIR/sievetext-VERSION.tgz (install it with npm) and OUTDIR/site/
# (open OUTDIR/site/index.html in a browser, from disk or any web server).
# Installs Emscripten and Node.js from Debian first when they are missing.
# Environment: WASM_BUILD_DIR, the build tree (default build-wasm).
set -euo pipefail
[ $# -eq 1 ] || { echo "usage: scripts/build-web.sh OUTDIR" >&2; exit 2; }
mkdir -p "$1"
out=$(cd "$1" && pwd)
cd "$(dirname "$0")/.."
scripts/install-deps.sh web
build=${WASM_BUILD_DIR:-build-wasm}

# Debian's Emscripten finds its optimizer's modules only through NODE_PATH.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
emcmake cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSIEVETEXT_WERROR=ON \
  -DSIEVETEXT_BUILD_TESTS=OFF -DSIEVETEXT_BUILD_GUI=OFF -DSIEVETEXT_BUILD_PYTHON=OFF >/dev/null
cmake --build "$build" --target sievetext_wasm

node web/assemble.mjs "$build/web/sievetext.wasm" "$out"
rm -f "$out"/sievetext-*.tgz
(cd "$out/package" && npm pack --silent --pack-destination "$out" >/dev/null)
ls "$out"/sievetext-*.tgz
echo "$out/site/index.html"
