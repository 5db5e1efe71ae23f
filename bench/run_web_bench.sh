#!/usr/bin/env bash
# Times the WebAssembly converter (the npm package) in Node against the
# html-to-text npm package and against the native command, and measures the
# page's memory in headless Chromium, on one file of real HTML. One run;
# prints MB/s and the ratios.
#
# Usage: bench/run_web_bench.sh [FILE]
#   Without FILE: the machine's documentation pages (/usr/share/doc)
#   concatenated and repeated to SIZE_MB.
# Environment:
#   SIZE_MB    size of that file in MiB (default 32)
#   RUNS       timed runs of the converters but html-to-text (default 3)
#   SIEVETEXT  the native program (default build-bench/bin/sievetext, built
#              in Release if missing)
#   WEB_OUT    where scripts/build-web.sh puts the package (default build-web)
set -euo pipefail
source "$(dirname "$0")/bench_setup.sh"
file=${1:+$(readlink -f "$1")}
bench_setup web-bench
SIZE_MB=${SIZE_MB:-32}
out=${WEB_OUT:-build-web}

[ -f "$out/package/index.mjs" ] || scripts/build-web.sh "$out" >/dev/null
(cd bench/web && npm install --no-audit --no-fund --silent)

if [ -z "$file" ]; then
  find /usr/share/doc -name '*.html' -type f -print0 | sort -z | xargs -0 cat > "$work/docs.html"
  file=$work/docs-${SIZE_MB}MiB.html
  : > "$file"
  while [ "$(stat -c %s "$file")" -lt $((SIZE_MB << 20)) ]; do cat "$work/docs.html" >> "$file"; done
  truncate -s $((SIZE_MB << 20)) "$file"
fi

node bench/web/node_bench.mjs "$out/package" "$SIEVETEXT" "$file" "${RUNS:-3}"
node bench/web/browser_memory.mjs "$out/site" "$file"
