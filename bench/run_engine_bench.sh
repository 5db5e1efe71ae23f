#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs the engine benchmark on the
# generated inputs and on the HTML pages of the system's documentation.
# Extra arguments go to the benchmark (e.g. --benchmark_filter=PageMix).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release -DSIEVETEXT_BUILD_BENCHMARKS=ON \
  -DSIEVETEXT_BUILD_TESTS=OFF -DSIEVETEXT_BUILD_GUI=OFF
SIEVETEXT_BENCH_HTML=${SIEVETEXT_BENCH_HTML:-/usr/share/doc} exec build-bench/bench/engine_bench "$@"
