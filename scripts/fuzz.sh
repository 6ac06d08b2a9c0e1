#!/usr/bin/env bash
# Builds the libFuzzer targets (preset fuzz) and runs each for a fixed time,
# starting from the seed corpora in fuzz/corpus/<target>. New inputs go to
# build/fuzz/corpus/<target>, findings to build/fuzz/findings/<target>.
# Exits non-zero when a target finds a crash, a leak, a timeout or a broken
# check (or when the build fails).
#
#   scripts/fuzz.sh                    # 20 s per target (the CI step)
#   scripts/fuzz.sh 1800               # 30 minutes per target
#   scripts/fuzz.sh 600 fuzz_exchange  # one target
#   ORV_FUZZ_JOBS=2 scripts/fuzz.sh 3600   # two targets at a time
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

seconds="${1:-20}"
shift || true
targets=("$@")
if [ "${#targets[@]}" -eq 0 ]; then targets=(fuzz_packet fuzz_nir_reply fuzz_exchange); fi
parallel="${ORV_FUZZ_JOBS:-1}"
build=build/fuzz
logdir="$build/logs"

cmake --preset fuzz >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]}"
mkdir -p "$logdir"

# Longest input per target: the decoder refuses inputs over 16384 bytes, the
# NIR reply buffer holds 16384 bytes; sessions need room for many answers.
max_len() {
  case "$1" in
    fuzz_packet | fuzz_nir_reply) echo 17000 ;;
    *) echo 16384 ;;
  esac
}

run_target() {
  local target="$1" seeds="fuzz/corpus/${1#fuzz_}"
  local work="$build/corpus/${1#fuzz_}" findings="$build/findings/${1#fuzz_}"
  mkdir -p "$work" "$findings"
  "$build/bin/$target" "$work" "$seeds" \
    -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" -print_final_stats=1 >"$logdir/$target.log" 2>&1
}

summarize() {
  local target="$1" status="$2" log="$logdir/$1.log"
  local runs
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  if [ "$status" -eq 0 ]; then
    echo "$target: ok, $runs runs in ${seconds} s"
  else
    echo "$target: FINDING (exit $status), log $log, inputs in $build/findings/${target#fuzz_}/"
    grep -E '^(==[0-9]+==ERROR|SUMMARY|fuzz check failed)' "$log" | head -n 5 || true
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
