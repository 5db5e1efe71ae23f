# What the timing scripts share; sourced by them after `set -euo pipefail`,
# not run.
#
#   bench_setup NAME  moves to the top of the source tree and sets
#     work             a fresh folder below WORK_DIR (default /tmp) named
#                      after NAME, removed when the script ends;
#     SIEVETEXT        the program to time: as given, or build-bench/bin/sievetext,
#                      built in Release (command line only) when missing;
#     XDG_CONFIG_HOME  $work/cfg, where one untimed run has stored all eleven
#                      options switched on, as a first run does.
#   now               the wall-clock time in seconds, with fractions.
#   seconds_since T   the seconds from `now` value T until now, 4 decimals.

now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.4f", b - a }'; }

bench_setup() {
  cd "$(dirname "${BASH_SOURCE[0]}")/.."
  work=$(mktemp -d "${WORK_DIR:-/tmp}/sievetext-$1-XXXXXX")
  trap 'rm -rf "$work"' EXIT

  if [ -z "${SIEVETEXT:-}" ]; then
    SIEVETEXT=$PWD/build-bench/bin/sievetext
    if [ ! -x "$SIEVETEXT" ]; then
      scripts/build.sh build-bench -DCMAKE_BUILD_TYPE=Release -DSIEVETEXT_BUILD_TESTS=OFF \
        -DSIEVETEXT_BUILD_GUI=OFF >/dev/null
    fi
  fi
  [ -x "$SIEVETEXT" ] || { echo "no program at $SIEVETEXT" >&2; exit 1; }

  export XDG_CONFIG_HOME=$work/cfg
  printf 'x' > "$work/warm.html"
  "$SIEVETEXT" "$work/warm.html" "$work/warm.txt"
  grep -c '=True' "$XDG_CONFIG_HOME/WexaSievetext.ini" | grep -qx 11
  rm -f "$work/warm.html" "$work/warm.txt"
}
