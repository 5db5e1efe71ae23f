#!/usr/bin/env bash
# Times the command line's batch and pipe forms, in one run:
#  - PAGES real pages (this machine's documentation HTML, repeated to make up
#    the count) converted by one `sievetext -d` process, against `cp` of them
#    into a fresh folder (creating the files is the floor), against `cat` run
#    once per file, and `-j 1` against `-j 2`;
#  - one large page (PIPE_MB) converted file to file, and through a pipe
#    (`cat page | sievetext - - > out`).
# Prints files per second, seconds and the ratios. Never run by ctest.
#
# Usage: bench/run_batch_bench.sh [FOLDER]   (default: /usr/share/doc)
# Environment:
#   SIEVETEXT  program to time (default: build-bench/bin/sievetext, built in
#              Release if missing)
#   PAGES      number of pages (default 2000)
#   PIPE_MB    size of the large page in MB (default 32)
#   RUNS       timed runs of each; the best is kept (default 3)
#   WORK_DIR   where the pages and outputs go (default /tmp); a tmpfs such as
#              /dev/shm leaves out the disk file system's own costs
set -euo pipefail
source "$(dirname "$0")/bench_setup.sh"

source_folder=$(readlink -f "${1:-/usr/share/doc}")
PAGES=${PAGES:-2000}
PIPE_MB=${PIPE_MB:-32}
RUNS=${RUNS:-3}
bench_setup batch-bench

# best CMD...: the shortest wall time of RUNS runs, in seconds.
best() {
  local b="" s t
  for _ in $(seq "$RUNS"); do
    rm -rf "$work/out" && mkdir -p "$work/out"
    s=$(now)
    "$@" >/dev/null
    t=$(seconds_since "$s")
    if [ -z "$b" ] || awk -v t="$t" -v b="$b" 'BEGIN { exit !(t < b) }'; then b=$t; fi
  done
  echo "$b"
}
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
rate() { awk -v n="$1" -v t="$2" 'BEGIN { printf "%.0f", n / t }'; }

# The pages, copied under numbered names so that no two write one output.
mapfile -d '' found < <(find "$source_folder" -name '*.htm*' -type f -print0 | sort -z)
[ ${#found[@]} -gt 0 ] || { echo "no HTML under $source_folder" >&2; exit 1; }
mkdir -p "$work/pages"
for i in $(seq 0 $((PAGES - 1))); do
  cp "${found[$((i % ${#found[@]}))]}" "$work/pages/$i.html"
done
pages=("$work"/pages/*.html)
bytes=$(cat "${pages[@]}" | wc -c)

cat_each() { for f in "${pages[@]}"; do cat "$f" > "$work/out/${f##*/}.txt"; done; }
cp_all() { cp "${pages[@]}" "$work/out/"; }
batch() { "$SIEVETEXT" -d "$work/out" "$@" "${pages[@]}"; }

echo "program: $SIEVETEXT ($("$SIEVETEXT" --version)), all options on, $(nproc) cores, best of $RUNS"
echo "== $PAGES pages ($(awk -v b="$bytes" 'BEGIN { printf "%.1f", b / 1e6 }') MB, ${#found[@]} distinct, from $source_folder)"
t_cp=$(best cp_all)
t_cat=$(best cat_each)
t_batch=$(best batch)
t_j1=$(best batch -j 1)
t_j2=$(best batch -j 2)
printf '%-28s %8s s %8s files/s\n' "cp into a fresh folder" "$t_cp" "$(rate "$PAGES" "$t_cp")"
printf '%-28s %8s s %8s files/s\n' "cat, one process per file" "$t_cat" "$(rate "$PAGES" "$t_cat")"
printf '%-28s %8s s %8s files/s\n' "sievetext -d (default -j)" "$t_batch" "$(rate "$PAGES" "$t_batch")"
printf '%-28s %8s s %8s files/s\n' "sievetext -d -j 1" "$t_j1" "$(rate "$PAGES" "$t_j1")"
printf '%-28s %8s s %8s files/s\n' "sievetext -d -j 2" "$t_j2" "$(rate "$PAGES" "$t_j2")"
echo "sievetext -d / cp: $(ratio "$t_cp" "$t_batch")x the files per second"
echo "sievetext -d / cat per file: $(ratio "$t_cat" "$t_batch")x the files per second"
echo "-j 2 / -j 1: $(ratio "$t_j1" "$t_j2")x"
# Processor time, which other load on the machine does not stretch: with it,
# -j 2 on an idle machine takes about (j1 CPU) / (j2 CPU / 2) less wall time.
if [ -x /usr/bin/time ]; then
  for j in 1 2; do
    rm -rf "$work/out"
    /usr/bin/time -f "-j $j: %e s wall, %U s user + %S s system" -o "$work/cpu" \
      "$SIEVETEXT" -j "$j" -d "$work/out" "${pages[@]}"
    cat "$work/cpu"
  done
  echo "load average while measuring: $(cut -d' ' -f1-3 /proc/loadavg)"
fi

# The same bytes whatever the number of jobs.
"$SIEVETEXT" -j 1 -d "$work/one" "${pages[@]}"
"$SIEVETEXT" -j 2 -d "$work/two" "${pages[@]}"
diff -r "$work/one" "$work/two" >/dev/null && echo "-j 1 and -j 2 outputs identical"

# One large page, from the pages above.
: > "$work/big.html"
while [ "$(stat -c %s "$work/big.html")" -lt $((PIPE_MB * 1000 * 1000)) ]; do
  cat "${found[@]}" >> "$work/big.html"
done
truncate -s $((PIPE_MB * 1000 * 1000)) "$work/big.html"
file_to_file() { "$SIEVETEXT" "$work/big.html" "$work/out/big.txt"; }
pipe_to_pipe() { cat "$work/big.html" | "$SIEVETEXT" - - > "$work/out/big.txt"; }
echo "== one page of $PIPE_MB MB"
t_file=$(best file_to_file)
t_pipe=$(best pipe_to_pipe)
printf '%-28s %8s s\n' "file to file" "$t_file" "cat | sievetext - - > file" "$t_pipe"
echo "pipe / file time: $(ratio "$t_pipe" "$t_file")"
