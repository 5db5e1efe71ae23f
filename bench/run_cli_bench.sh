#!/usr/bin/env bash
# Times the command-line converter against the HTML-to-text programs a user
# might pick instead (html2text, lynx -dump, w3m -dump, when installed) and
# against `cat IN > OUT`, the floor no converter can beat, in one run on the
# same files. Prints MB/s, the ratios, peak memory, and files per second for a
# folder of small pages converted one process per file.
#
# Usage: bench/run_cli_bench.sh [FILE|FOLDER ...]
#   With no argument: the machine's documentation pages (/usr/share/doc),
#   once as they are concatenated, once concatenated up to BIG_MB (256) MB.
# Environment:
#   SIEVETEXT      program to time (default: build-bench/bin/sievetext, built
#                  in Release if missing)
#   BIG_MB         size of the large file (default 256)
#   OTHERS_MAX_MB  larger files are not given to the other programs, which
#                  need minutes and gigabytes there (default 64)
#   SMALL_FILES    number of small pages for the per-process loop (default 2000)
#   RUNS           timed runs per measurement; the best is kept (default 3)
set -euo pipefail
cd "$(dirname "$0")/.."

BIG_MB=${BIG_MB:-256}
OTHERS_MAX_MB=${OTHERS_MAX_MB:-64}
SMALL_FILES=${SMALL_FILES:-2000}
RUNS=${RUNS:-3}
work=$(mktemp -d /tmp/sievetext-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT

if [ -z "${SIEVETEXT:-}" ]; then
  SIEVETEXT=$PWD/build-bench/bin/sievetext
  if [ ! -x "$SIEVETEXT" ]; then
    scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release -DSIEVETEXT_BUILD_TESTS=OFF \
      -DSIEVETEXT_BUILD_GUI=OFF >/dev/null
  fi
fi
[ -x "$SIEVETEXT" ] || { echo "no program at $SIEVETEXT" >&2; exit 1; }

# Settings of our own: a first run stores all eleven options switched on.
export XDG_CONFIG_HOME=$work/cfg
printf 'x' > "$work/warm.html"
"$SIEVETEXT" "$work/warm.html" "$work/warm.txt"
grep -c '=True' "$XDG_CONFIG_HOME/WexaSievetext.ini" | grep -qx 11

now() { date +%s.%N; }
mb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1e6 }'; }

# best_seconds CMD...: the shortest wall time of RUNS runs.
best_seconds() {
  local best="" start end t
  for _ in $(seq "$RUNS"); do
    start=$(now)
    "$@" >/dev/null 2>&1 || true
    end=$(now)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f", b - a }')
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
  done
  echo "$best"
}

# peak_kb CMD...: maximum resident set size in KiB, when /usr/bin/time exists.
peak_kb() {
  if [ -x /usr/bin/time ]; then
    /usr/bin/time -f '%M' -o "$work/peak" "$@" >/dev/null 2>&1 || true
    tail -1 "$work/peak"
  else
    echo "?"
  fi
}

run_cat() { cat "$1" > "$2"; }
run_sievetext() { "$SIEVETEXT" "$1" "$2"; }
run_html2text() { html2text "$1" > "$2"; }
run_lynx() { lynx -dump -force_html "$1" > "$2"; }
run_w3m() { w3m -dump -T text/html "$1" > "$2"; }

others=()
command -v html2text >/dev/null && others+=(html2text)
command -v lynx >/dev/null && others+=(lynx)
command -v w3m >/dev/null && others+=(w3m)

# The inputs.
inputs=()
if [ $# -eq 0 ]; then
  find /usr/share/doc -name '*.html' -type f -print0 | sort -z | xargs -0 cat > "$work/docs.html"
  [ -s "$work/docs.html" ] || { echo "no HTML under /usr/share/doc" >&2; exit 1; }
  : > "$work/big.html"
  while [ "$(stat -c %s "$work/big.html")" -lt $((BIG_MB * 1000 * 1000)) ]; do
    cat "$work/docs.html" >> "$work/big.html"
  done
  inputs=("$work/docs.html" "$work/big.html")
  small_source=/usr/share/doc
else
  for arg in "$@"; do
    if [ -d "$arg" ]; then
      find "$arg" -name '*.htm*' -type f -print0 | sort -z | xargs -0 cat > "$work/folder.html"
      inputs+=("$work/folder.html")
      small_source=$arg
    else
      inputs+=("$(readlink -f "$arg")")
    fi
  done
fi

echo "program: $SIEVETEXT ($("$SIEVETEXT" --version)), all eleven options on, best of $RUNS runs"
echo
for input in "${inputs[@]}"; do
  bytes=$(stat -c %s "$input")
  echo "== $(basename "$input"): $(mb "$bytes") MB"
  printf '%-12s %10s %10s %12s %14s\n' program seconds MB/s "x sievetext" "peak RSS MB"
  declare -A rate=()
  tools=(cat sievetext)
  if [ "$bytes" -le $((OTHERS_MAX_MB * 1000 * 1000)) ]; then tools+=("${others[@]}"); fi
  for tool in "${tools[@]}"; do
    t=$(best_seconds "run_$tool" "$input" "$work/out.txt")
    peak=$(peak_kb bash -c "$(declare -f "run_$tool"); SIEVETEXT='$SIEVETEXT' run_$tool '$input' '$work/out.txt'")
    rate[$tool]=$(awk -v b="$bytes" -v t="$t" 'BEGIN { printf "%.1f", b / 1e6 / t }')
    printf '%-12s %10s %10s %12s %14s\n' "$tool" "$t" "${rate[$tool]}" \
      "$(awk -v s="${rate[sievetext]:-0}" -v r="${rate[$tool]}" 'BEGIN { if (s > 0) printf "%.3f", r / s; else print "-" }')" \
      "$(awk -v k="$peak" 'BEGIN { if (k == "?") print "?"; else printf "%.1f", k / 1024 }')"
  done
  sieve=${rate[sievetext]}
  echo "sievetext / cat: $(awk -v s="$sieve" -v c="${rate[cat]}" 'BEGIN { printf "%.3f", s / c }')"
  fastest=0
  for tool in "${others[@]}"; do
    [ -n "${rate[$tool]:-}" ] || continue
    fastest=$(awk -v a="$fastest" -v b="${rate[$tool]}" 'BEGIN { print (b > a) ? b : a }')
  done
  if [ "$fastest" != 0 ]; then
    echo "sievetext / fastest other: $(awk -v s="$sieve" -v f="$fastest" 'BEGIN { printf "%.1f", s / f }')"
  fi
  echo "input size x4 + 50 MB = $(awk -v b="$bytes" 'BEGIN { printf "%.1f", (4 * b + 50e6) / 1048576 }') MB (peak limit)"
  unset rate
  echo
done

# Many small pages, one process each, as a shell loop over a folder would.
mkdir -p "$work/small" "$work/small-out"
mapfile -d '' pages < <(find "${small_source:-/usr/share/doc}" -name '*.htm*' -type f -size -64k -print0 | sort -z)
if [ ${#pages[@]} -gt 0 ]; then
  for i in $(seq 0 $((SMALL_FILES - 1))); do
    cp "${pages[$((i % ${#pages[@]}))]}" "$work/small/$i.html"
  done
  total=$(du -cb "$work"/small/*.html | tail -1 | cut -f1)
  echo "== $SMALL_FILES small pages (from ${#pages[@]} distinct, $(mb "$total") MB), one process each"
  loop_cat() { for f in "$work"/small/*.html; do cat "$f" > "$work/small-out/${f##*/}.txt"; done; }
  loop_sievetext() { for f in "$work"/small/*.html; do "$SIEVETEXT" "$f" "$work/small-out/${f##*/}.txt"; done; }
  loop_w3m() { for f in "$work"/small/*.html; do w3m -dump -T text/html "$f" > "$work/small-out/${f##*/}.txt"; done; }
  loops=(cat sievetext)
  command -v w3m >/dev/null && loops+=(w3m)
  declare -A fps=()
  for tool in "${loops[@]}"; do
    t=$(RUNS=1 best_seconds "loop_$tool")
    fps[$tool]=$(awk -v n="$SMALL_FILES" -v t="$t" 'BEGIN { printf "%.0f", n / t }')
    printf '%-12s %8s s %8s files/s\n' "$tool" "$t" "${fps[$tool]}"
  done
  echo "sievetext / cat: $(awk -v s="${fps[sievetext]}" -v c="${fps[cat]}" 'BEGIN { printf "%.2f", s / c }')"
fi
