#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a while:
#   scripts/fuzz.sh BUILD_DIR SECONDS
# The build is made with clang++ and -DSIEVETEXT_BUILD_FUZZERS=ON. The seed
# corpus is generated from the test vocabulary into BUILD_DIR/fuzz-corpus;
# anything the fuzzer finds on the way is kept there for the next run.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:?usage: scripts/fuzz.sh BUILD_DIR SECONDS}
seconds=${2:-60}
corpus="$dir/fuzz-corpus"
mkdir -p "$corpus/seeds"
"$dir/fuzz/make_fuzz_corpus" "$corpus/seeds"

targets=("$dir"/fuzz/*_fuzz)
# The targets share the time.
per_target=$(( seconds / ${#targets[@]} ))
[ "$per_target" -lt 1 ] && per_target=1
for target in "${targets[@]}"; do
  name=$(basename "$target")
  echo "== fuzzing $name for ${per_target}s"
  mkdir -p "$corpus/$name"
  # The first run over the seeds (merged into the target's own corpus) needs
  # no time limit of its own; -max_total_time bounds the whole run.
  "$target" "$corpus/$name" "$corpus/seeds" -max_total_time="$per_target" -max_len=4096 \
    -timeout=20 -rss_limit_mb=4096 -print_final_stats=1 \
    -artifact_prefix="$dir/fuzz-" 2>&1 | tail -n 60
done
