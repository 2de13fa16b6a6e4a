#!/usr/bin/env bash
# Builds the benchmarks (Release unless BUILD_TYPE says otherwise), makes an hour-long demo
# recording, times a raw read of it with cat for the record, and runs each benchmark in its own
# process under GNU time so that the peak RSS printed is that benchmark's alone.
#
#   bash bench/run.sh                     # build-bench/, the file in $TMPDIR/tolmar-bench/
#   BUILD_DIR=b BUILD_TYPE=RelWithDebInfo TOLMAR_BENCH_DIR=/data bash bench/run.sh
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

build=${BUILD_DIR:-build-bench}
type=${BUILD_TYPE:-Release}
data=${TOLMAR_BENCH_DIR:-${TMPDIR:-/tmp}/tolmar-bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="$type" -DTOLMAR_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target document_bench make-demo

mkdir -p "$data"
wav=$data/demo_hour.wav
# 44-byte header + one hour of 44100 Hz 16-bit stereo
if [ "$(stat -c %s "$wav" 2>/dev/null || echo 0)" != 635040044 ]; then
  "$build/tools/make-demo" "$wav" --seconds 3600 | head -1
fi

echo "== machine"
echo "date: $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "nproc: $(nproc)"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')"
echo "load average at start: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "build: $type"

echo "== cat $wav > /dev/null (page cache warm; 7 runs)"
cat "$wav" >/dev/null
times=()
for _ in 1 2 3 4 5 6 7; do
  t0=$(date +%s%N)
  cat "$wav" >/dev/null
  t1=$(date +%s%N)
  times+=($(((t1 - t0) / 1000000)))
done
sorted=$(printf '%s\n' "${times[@]}" | sort -n | tr '\n' ' ')
echo "ms: ${times[*]}"
echo "min $(echo "$sorted" | cut -d' ' -f1) ms, median $(echo "$sorted" | cut -d' ' -f4) ms"

rss_file=$(mktemp)
trap 'rm -f "$rss_file"' EXIT
for b in BM_RawRead BM_OpenPeakScanNoCache BM_ReadFramesOverlay BM_EditedSampleAt; do
  echo "== $b"
  TOLMAR_BENCH_WAV=$wav /usr/bin/time -f '%M' -o "$rss_file" \
    "$build/bench/document_bench" --benchmark_filter="^$b/" 2>&1 |
    grep -E "^(BM_|\*\*\*|Load)" || true
  echo "peak RSS: $(( $(tail -1 "$rss_file") / 1024 )) MiB ($(tail -1 "$rss_file") KiB)"
done
