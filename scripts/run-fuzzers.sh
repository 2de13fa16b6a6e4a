#!/usr/bin/env bash
# Runs every fuzz target of a fuzz build for a fixed time each; any finding fails the run.
set -euo pipefail
dir=$1
seconds=${2:-60}
shopt -s nullglob
found=0
for fuzzer in "$dir"/fuzz/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus="$dir/fuzz-corpus/$name"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/${name#fuzz_}"
  extra=()
  [ -d "$seeds" ] && extra+=("$seeds")
  echo "== $name for ${seconds}s"
  "$fuzzer" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=2048 \
    -artifact_prefix="$dir/" "$corpus" "${extra[@]}" 2>"$dir/$name.log" || {
    tail -n 40 "$dir/$name.log"; echo "$name found a fault"; exit 1; }
  grep -E 'stat::number_of_executed_units' "$dir/$name.log" || true
  found=$((found + 1))
done
echo "fuzz targets run: $found"
