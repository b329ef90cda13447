#!/usr/bin/env bash
# Runs one libFuzzer program for a bounded time on a copy of its seed corpus
# (new inputs it finds stay in the build tree, not in the sources).
#   run-fuzzer.sh FUZZER DEFAULT-SECONDS WORK-DIR [SEED-CORPUS-DIR]
# FUZZ_SECONDS overrides the time for every fuzzer.
set -euo pipefail

fuzzer=$1
seconds=${FUZZ_SECONDS:-$2}
work=$3
seeds=${4:-}

rm -rf "$work"
mkdir -p "$work/corpus" "$work/artifacts"
if [ -n "$seeds" ] && [ -d "$seeds" ]; then
  cp -R "$seeds"/. "$work/corpus/"
fi

echo "fuzzing $(basename "$fuzzer") for ${seconds}s, corpus of $(find "$work/corpus" -type f | wc -l) seeds"
exec "$fuzzer" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
  -artifact_prefix="$work/artifacts/" "$work/corpus"
