#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: a normal build, then an
# AddressSanitizer + UndefinedBehaviorSanitizer build, then a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export CTEST_OUTPUT_ON_FAILURE=1
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

echo "== normal build"
scripts/build.sh build -DSIEVETEXT_WERROR=ON
ctest --test-dir build -j"$jobs"

# The sanitizer build also runs the plain loops that stand in for the vector
# ones, so the differential tests check both; the fuzz build checks the vector
# ones under the sanitizers.
echo "== sanitizer build (plain loops)"
scripts/build.sh build-asan -DCMAKE_BUILD_TYPE=Debug -DSIEVETEXT_SANITIZE=ON -DSIEVETEXT_WERROR=ON \
  -DSIEVETEXT_PORTABLE_SCAN=ON
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --test-dir build-asan -j"$jobs"

# The WebAssembly build: the npm package against the native program just
# built, and the page in headless Chromium.
echo "== web build"
scripts/build-web.sh build-web
(cd web/tests && npm ci --no-audit --no-fund --silent)
SIEVETEXT_WEB=build-web SIEVETEXT_NATIVE=build/bin/sievetext \
  node --test web/tests/convert.test.mjs web/tests/bin.test.mjs web/tests/page.test.mjs

echo "== fuzz build"
if [ -f fuzz/CMakeLists.txt ] && [ -n "$(ls fuzz/*.cpp 2>/dev/null)" ]; then
  scripts/build.sh build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DSIEVETEXT_BUILD_FUZZERS=ON \
    -DSIEVETEXT_BUILD_TESTS=OFF -DSIEVETEXT_BUILD_GUI=OFF
  scripts/fuzz.sh build-fuzz 60
fi
echo "== all tests passed"
