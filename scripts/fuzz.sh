#!/usr/bin/env bash
# Builds the libFuzzer targets (in the sanitize preset's tree, build/sanitize:
# clang with ASan and UBSan, as the targets need) and runs each for a fixed
# time, starting from the seed corpora in fuzz/corpus/<target>. New inputs go
# to build/fuzz/corpus/<target>, findings to build/fuzz/findings/<target>.
# With --empty a target starts from nothing instead: no seeds, a fresh
# corpus in build/fuzz/corpus-empty/<target>. Exits non-zero when a target
# finds a crash, a leak, a timeout or a broken check, when it stops because
# no input reached liborv, or when the build fails.
#
#   scripts/fuzz.sh                    # 20 s per target, from the seeds
#   scripts/fuzz.sh 1800               # 30 minutes per target
#   scripts/fuzz.sh 600 fuzz_exchange  # one target
#   scripts/fuzz.sh --empty 5          # every target from an empty corpus
#   ORV_FUZZ_JOBS=2 scripts/fuzz.sh 3600   # two targets at a time
#
# scripts/test-all.sh runs each target 15 s from its seeds and 5 s from an
# empty corpus, two targets at a time.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

from_empty=0
if [ "${1:-}" = --empty ]; then
  from_empty=1
  shift
fi
seconds="${1:-20}"
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then targets=(fuzz_packet fuzz_nir_reply fuzz_exchange fuzz_capture); fi
parallel="${ORV_FUZZ_JOBS:-1}"
build=build/fuzz
logdir="$build/logs"
bin=build/sanitize/bin

cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j 2 --target "${targets[@]}"
mkdir -p "$logdir"

# Longest input per target: the decoder refuses inputs over 16384 bytes, the
# NIR reply buffer holds 16384 bytes; sessions need room for many answers.
max_len() {
  case "$1" in
    fuzz_packet | fuzz_nir_reply) echo 17000 ;;
    fuzz_capture) echo 65536 ;;
    *) echo 16384 ;;
  esac
}

log_of() {
  if [ "$from_empty" = 1 ]; then echo "$logdir/$1-empty.log"; else echo "$logdir/$1.log"; fi
}

run_target() {
  local target="$1" findings="$build/findings/${1#fuzz_}"
  local corpora=("$build/corpus/${1#fuzz_}" "fuzz/corpus/${1#fuzz_}")
  if [ "$from_empty" = 1 ]; then
    corpora=("$build/corpus-empty/${1#fuzz_}")
    rm -rf "${corpora[0]}"
  fi
  mkdir -p "${corpora[0]}" "$findings"
  "$bin/$target" "${corpora[@]}" \
    -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" -print_final_stats=1 >"$(log_of "$target")" 2>&1
}

summarize() {
  local target="$1" status="$2" log
  log="$(log_of "$1")"
  local runs start="from the seeds"
  if [ "$from_empty" = 1 ]; then start="from an empty corpus"; fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  if [ "$status" -eq 0 ]; then
    echo "$target: ok, $runs runs in ${seconds} s $start"
  else
    echo "$target: FAILED (exit $status) $start, log $log, inputs in $build/findings/${target#fuzz_}/"
    grep -E '^(==[0-9]+==ERROR|ERROR:|SUMMARY|fuzz check failed)' "$log" | head -n 5 || true
  fi
}

failed=0
pids=()
names=()
for target in "${targets[@]}"; do
  run_target "$target" &
  pids+=("$!")
  names+=("$target")
  if [ "${#pids[@]}" -ge "$parallel" ]; then
    status=0
    wait "${pids[0]}" || status=$?
    summarize "${names[0]}" "$status"
    [ "$status" -eq 0 ] || failed=1
    pids=("${pids[@]:1}")
    names=("${names[@]:1}")
  fi
done
for i in "${!pids[@]}"; do
  status=0
  wait "${pids[$i]}" || status=$?
  summarize "${names[$i]}" "$status"
  [ "$status" -eq 0 ] || failed=1
done
exit "$failed"
