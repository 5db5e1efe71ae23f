#!/usr/bin/env bash
# Times the command-line converter against the HTML-to-text programs a user
# might pick instead (html2text, lynx -dump, w3m -dump, when installed) and
# against `cat IN > OUT`, the floor no converter can beat, in one run on the
# same files. Prints MB/s, the ratios, peak memory against its bound, minor
# page faults per MiB of input (fresh memory, counted the same on every
# machine), the peak memory of hostile inputs, and files per second for a
# folder of small pages converted one process per file.
#
# Usage: bench/run_cli_bench.sh [FILE|FOLDER ...]
#   With no argument: the machine's documentation pages (/usr/share/doc),
#   once as they are concatenated, then repeated to each of SIZES_MB.
# Environment:
#   SIEVETEXT      program to time (default: build-bench/bin/sievetext, built
#                  in Release if missing)
#   SIZES_MB       sizes of the repeated files in MiB (default "32 256 2048")
#   HOSTILE_MB     size of each hostile input in MiB (default 64; 0 skips them)
#   OTHERS_MAX_MB  larger files are not given to the other programs, which
#                  need minutes and gigabytes there (default 64)
#   OTHERS         the other programs to try (default "html2text lynx w3m")
#   SMALL_FILES    number of small pages for the per-process loop (default 2000)
#   RUNS           timed runs of cat and sievetext; the best is kept (default 3;
#                  the other programs run once)
#   WORK_DIR       where the inputs and outputs go (default /tmp)
set -euo pipefail
source "$(dirname "$0")/bench_setup.sh"

SIZES_MB=${SIZES_MB:-32 256 2048}
HOSTILE_MB=${HOSTILE_MB:-64}
OTHERS_MAX_MB=${OTHERS_MAX_MB:-64}
SMALL_FILES=${SMALL_FILES:-2000}
RUNS=${RUNS:-3}
args=()
for arg in "$@"; do args+=("$(readlink -f "$arg")"); done
set -- "${args[@]}"
bench_setup cli-bench
[ -x /usr/bin/time ] || { echo "needs /usr/bin/time (package time)" >&2; exit 1; }

mb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1e6 }'; }

# measure RUNS CMD...: runs CMD RUNS times under /usr/bin/time and prints the
# shortest wall time, the largest peak resident size (KiB) and the fewest
# minor page faults of those runs.
measure() {
  local runs=$1 best="" peak=0 faults="" t m r
  shift
  for _ in $(seq "$runs"); do
    /usr/bin/time -f '%e %M %R' -o "$work/time" "$@" >/dev/null 2>&1 || true
    read -r t m r < <(tail -1 "$work/time")
    if [ -z "$best" ] || awk -v t="$t" -v b="$best" 'BEGIN { exit !(t < b) }'; then best=$t; fi
    [ "$m" -gt "$peak" ] && peak=$m
    if [ -z "$faults" ] || [ "$r" -lt "$faults" ]; then faults=$r; fi
  done
  echo "$best $peak $faults"
}

run_cat() { cat "$1" > "$2"; }
run_sievetext() { "$SIEVETEXT" "$1" "$2"; }
export -f run_cat run_sievetext
export SIEVETEXT
run_html2text() { html2text "$1" > "$2"; }
run_lynx() { lynx -dump -force_html "$1" > "$2"; }
run_w3m() { w3m -dump -T text/html "$1" > "$2"; }

others=()
for tool in ${OTHERS:-html2text lynx w3m}; do
  command -v "$tool" >/dev/null && others+=("$tool")
done

# The inputs.
inputs=()
if [ $# -eq 0 ]; then
  find /usr/share/doc -name '*.html' -type f -print0 | sort -z | xargs -0 cat > "$work/docs.html"
  [ -s "$work/docs.html" ] || { echo "no HTML under /usr/share/doc" >&2; exit 1; }
  inputs=("$work/docs.html")
  for size in $SIZES_MB; do
    big=$work/docs-${size}MiB.html
    : > "$big"
    while [ "$(stat -c %s "$big")" -lt $((size << 20)) ]; do cat "$work/docs.html" >> "$big"; done
    truncate -s $((size << 20)) "$big"
    inputs+=("$big")
  done
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
  printf '%-12s %10s %10s %12s %14s %12s\n' program seconds MB/s "x sievetext" "peak RSS MB" "faults/MiB"
  declare -A rate=()
  tools=(cat sievetext)
  if [ "$bytes" -le $((OTHERS_MAX_MB * 1000 * 1000)) ]; then tools+=("${others[@]}"); fi
  for tool in "${tools[@]}"; do
    if [ "$tool" = cat ] || [ "$tool" = sievetext ]; then
      runs=$RUNS
    else
      runs=1  # the others are slow
    fi
    read -r t peak faults < <(measure "$runs" bash -c "$(declare -f "run_$tool"); run_$tool '$input' '$work/out.txt'")
    rm -f "$work/out.txt"
    rate[$tool]=$(awk -v b="$bytes" -v t="$t" 'BEGIN { printf "%.1f", b / 1e6 / (t > 0 ? t : 0.005) }')
    [ "$tool" = sievetext ] && { sieve_peak=$peak; sieve_faults=$faults; }
    printf '%-12s %10s %10s %12s %14s %12s\n' "$tool" "$t" "${rate[$tool]}" \
      "$(awk -v s="${rate[sievetext]:-0}" -v r="${rate[$tool]}" 'BEGIN { if (s > 0) printf "%.3f", r / s; else print "-" }')" \
      "$(awk -v k="$peak" 'BEGIN { printf "%.1f", k / 1024 }')" \
      "$(awk -v f="$faults" -v b="$bytes" 'BEGIN { printf "%.1f", f / (b / 1048576) }')"
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
  awk -v k="$sieve_peak" -v b="$bytes" 'BEGIN {
    bound = (2.5 * b + 32 * 1048576) / 1048576
    printf "peak %.1f MiB = %.2f x input; bound 2.5 x input + 32 MiB = %.1f MiB: %s\n",
      k / 1024, k * 1024 / b, bound, (k / 1024 <= bound) ? "within" : "OVER" }'
  unset rate
  echo
done

# Hostile inputs: peak memory against 4 x input + 64 MiB, one run each.
if [ "$HOSTILE_MB" -gt 0 ]; then
  echo "== hostile inputs, $HOSTILE_MB MiB each"
  printf '%-24s %10s %14s %12s %14s\n' input seconds "peak RSS MB" "x input" "bound MB"
  hostile_names=("ampersand chains" "one ampersand chain" "all references" "space run"
                 "open braces" "unclosed comments" "line breaks only" "nested tag openers")
  hostile_units=('&&&&&&&&&&amp;' "$(printf '&%.0s' $(seq 4000))amp;"
                 '&amp;lt;&eacute;&#65;&nbsp;&#38;#38;&copy;&nbsp&l&not;t;&NBSP;&#210;' ' ' '{'
                 '<!--' $'\n' '<<<<<scrip<styl<!-')
  for i in "${!hostile_names[@]}"; do
    /usr/bin/python3 -c '
import sys
unit, size = sys.argv[1], int(sys.argv[2])
data = (unit * (size // len(unit) + 1))[:size]
open(sys.argv[3], "w", newline="").write(data)' "${hostile_units[$i]}" $((HOSTILE_MB << 20)) "$work/hostile.html"
    read -r t peak faults < <(measure 1 "$SIEVETEXT" "$work/hostile.html" "$work/out.txt")
    rm -f "$work/out.txt"
    awk -v n="${hostile_names[$i]}" -v t="$t" -v k="$peak" -v m="$HOSTILE_MB" 'BEGIN {
      bound = 4 * m + 64
      printf "%-24s %10s %14.1f %12.2f %14.1f %s\n", n, t, k / 1024, k / 1024 / m, bound,
        (k / 1024 <= bound) ? "within" : "OVER" }'
  done
  rm -f "$work/hostile.html"
  echo
fi

# Many small pages, one process each, as a shell loop over a folder would.
mkdir -p "$work/small" "$work/small-out"
mapfile -d '' pages < <(find "${small_source:-/usr/share/doc}" -name '*.htm*' -type f -size -64k -print0 | sort -z)
if [ ${#pages[@]} -gt 0 ] && [ "$SMALL_FILES" -gt 0 ]; then
  for i in $(seq 0 $((SMALL_FILES - 1))); do
    cp "${pages[$((i % ${#pages[@]}))]}" "$work/small/$i.html"
  done
  total=$(du -cb "$work"/small/*.html | tail -1 | cut -f1)
  echo "== $SMALL_FILES small pages (from ${#pages[@]} distinct, $(mb "$total") MB), one process each"
  loop_cat() { for f in "$work"/small/*.html; do cat "$f" > "$work/small-out/${f##*/}.txt"; done; }
  loop_sievetext() { for f in "$work"/small/*.html; do "$SIEVETEXT" "$f" "$work/small-out/${f##*/}.txt"; done; }
  loop_w3m() { for f in "$work"/small/*.html; do w3m -dump -T text/html "$f" > "$work/small-out/${f##*/}.txt"; done; }
  loops=(cat sievetext)
  [[ " ${others[*]} " == *" w3m "* ]] && loops+=(w3m)
  declare -A fps=()
  for tool in "${loops[@]}"; do
    start=$(now)
    "loop_$tool" >/dev/null 2>&1 || true
    t=$(seconds_since "$start")
    fps[$tool]=$(awk -v n="$SMALL_FILES" -v t="$t" 'BEGIN { printf "%.0f", n / t }')
    printf '%-12s %8s s %8s files/s\n' "$tool" "$t" "${fps[$tool]}"
  done
  echo "sievetext / cat: $(awk -v s="${fps[sievetext]}" -v c="${fps[cat]}" 'BEGIN { printf "%.2f", s / c }')"
fi
