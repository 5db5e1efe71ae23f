#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the format check, a
# normal build and clang-tidy over it, an AddressSanitizer +
# UndefinedBehaviorSanitizer build, the WebAssembly build with the npm
# package's and the page's tests, a ThreadSanitizer build of the threaded
# tests, then a short fuzz run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export CTEST_OUTPUT_ON_FAILURE=1
export QT_QPA_PLATFORM=offscreen
jobs=$(nproc)

# Every C++ file as clang-format leaves it (SIEVETEXT_CHECK_FORMAT=0 skips).
if [ "${SIEVETEXT_CHECK_FORMAT:-1}" = 1 ]; then
  echo "== clang-format"
  find engine simd platform text settings job cli controls ui library include python tests bench fuzz web \
    -name node_modules -prune -o \( -name '*.h' -o -name '*.cpp' \) -print0 |
    xargs -0 clang-format --dry-run --Werror
fi

echo "== normal build"
scripts/build.sh build -DSIEVETEXT_WERROR=ON -DCMAKE_EXPORT_COMPILE_COMMANDS=ON
ctest --test-dir build -j"$jobs"

echo "== clang-tidy"
scripts/clang_tidy.sh build

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

# Only the tests of the places that use threads or atomics (less the block
# sweep's exhaustive test, which stays on one thread): the block sweep's
# second thread and the passes that run in two parts (engine), the batch's
# worker threads, the file system's read-ahead thread and the table of live
# temporary files that a signal handler reads (cli, platform).
echo "== thread sanitizer build (threaded tests)"
cmake -S . -B build-tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSIEVETEXT_SANITIZE_THREAD=ON \
  -DSIEVETEXT_WERROR=ON -DSIEVETEXT_BUILD_GUI=OFF -DSIEVETEXT_BUILD_PYTHON=OFF >/dev/null
cmake --build build-tsan --target engine_block_sweep_test engine_two_parts_test platform_unit_test cli_unit_test
TSAN_OPTIONS=halt_on_error=1 ctest --test-dir build-tsan -j"$jobs" \
  -R '^(BlockSweepTest|TwoPartsTest|RunJobsTest|PosixFileSystemTest)\.' \
  -E '^BlockSweepTest\.LeavesWhatTheCutsLeaveOneAfterAnotherAtEveryStretch$'

echo "== fuzz build"
if [ -f fuzz/CMakeLists.txt ] && [ -n "$(ls fuzz/*.cpp 2>/dev/null)" ]; then
  scripts/build.sh build-fuzz -DCMAKE_CXX_COMPILER=clang++ -DSIEVETEXT_BUILD_FUZZERS=ON \
    -DSIEVETEXT_BUILD_TESTS=OFF -DSIEVETEXT_BUILD_GUI=OFF
  scripts/fuzz.sh build-fuzz 60
fi
echo "== all tests passed"
