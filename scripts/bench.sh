#!/usr/bin/env bash
# Builds the bench preset (Release, g++) and runs every performance
# measurement; figures and raw outputs go to build/bench/results/. Exits 1
# when a target is missed (all measurements still run).
#
#   scripts/bench.sh                          # everything (about 7 minutes)
#   ORV_BENCH_REPETITIONS=20 scripts/bench.sh # more repetitions of orv_bench
#   ORV_BENCH_PROFILE=0 scripts/bench.sh      # without the callgrind split
#
# Measure on a quiet machine: concurrent builds or tests inflate the
# wall-clock figures (CPU-time columns and the callgrind split are less
# affected).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

jobs="${ORV_JOBS:-2}"
repetitions="${ORV_BENCH_REPETITIONS:-10}"
bin=build/bench/bin
results=build/bench/results

cmake --preset bench >/dev/null
cmake --build --preset bench -j "$jobs"
mkdir -p "$results"

{
  echo "date: $(date -u +%Y-%m-%dT%H:%M:%SZ)"
  echo "commit: $(git rev-parse --short HEAD 2>/dev/null || echo unknown)"
  echo "kernel: $(uname -srm)"
  echo "compiler: $(g++ --version | head -n 1)"
  echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
  lscpu | grep -E '^(Model name|CPU\(s\)|Thread|Core|Socket|L[123]|Hypervisor)'
  grep MemTotal /proc/meminfo
} | tee "$results/machine.txt"
echo

status=0
step() {
  local name="$1"
  shift
  echo "=== $name"
  if ! "$@" 2>&1 | tee "$results/$name.txt"; then status=1; fi
  echo
}

step orv_bench "$bin/orv_bench" --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/orv_bench.json" --benchmark_out_format=json
step orv_crc_ways "$bin/orv_crc_ways" --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/orv_crc_ways.json" --benchmark_out_format=json
step orv_processing_bench "$bin/orv_processing_bench" --benchmark_repetitions="$repetitions" \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/orv_processing_bench.json" --benchmark_out_format=json
step orv_hdf5_series_bench "$bin/orv_hdf5_series_bench" --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$results/orv_hdf5_series_bench.json" --benchmark_out_format=json
step overhead python3 scripts/bench_checks.py overhead "$results/orv_bench.json"
step processing python3 scripts/bench_checks.py processing "$results/orv_processing_bench.json"
step hdf5 python3 scripts/bench_checks.py hdf5 "$results/orv_hdf5_series_bench.json" --bin "$bin"
step checksums python3 scripts/bench_checks.py checksums "$results/orv_bench.json" \
  --ways "$results/orv_crc_ways.json"
step fidelity python3 scripts/bench_checks.py fidelity --bin "$bin"
step resources python3 scripts/bench_checks.py resources --bin "$bin"
step recorder python3 scripts/bench_checks.py recorder --bin "$bin"
step parallel "$bin/orv_parallel_reads"
if [ "${ORV_BENCH_PROFILE:-1}" != 0 ]; then
  step profile python3 scripts/bench_checks.py profile --bin "$bin" --out "$results"
fi

if [ "$status" = 0 ]; then echo "bench: all targets met"; else echo "bench: a target was missed (see above)"; fi
exit "$status"
