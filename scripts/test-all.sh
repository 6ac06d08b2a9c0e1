#!/usr/bin/env bash
# Configures, builds and tests the presets linux, sanitize, tsan (the threaded
# tests under ThreadSanitizer) and windows (under wine), then runs the checks,
# and ends with a table: every step (the setup when .ci/run timed it, each
# preset's configure and build, each preset's tests, each check) with its
# result and seconds, and the total. Each preset's result counts its CTest
# tests and the GoogleTest cases that ran (scripts/gtest_results.py); its
# slowest 20 tests and cases are printed and kept in build/logs. Exits
# non-zero when any configure, build or test step fails; the remaining
# presets still run.
#
#   ORV_PRESETS="linux windows" scripts/test-all.sh   # a subset (empty: none)
#   ORV_JOBS=4 scripts/test-all.sh                   # parallel jobs (default 2)
#   ORV_TEST_JOBS=8 scripts/test-all.sh              # tests at once (default 4 x jobs)
#   ORV_CHECKS="valgrind" scripts/test-all.sh         # checks (default: all)
#
# The presets build one after another in the background at the lowest CPU
# priority while the tests of those already built run (build_lane below).
# Every kind of compiler output is built once: the linux tree holds the
# benchmark programs, the sanitize tree the fuzz targets. Checks: the format
# check (scripts/format.sh --check) runs first, before the presets, as it
# takes seconds. After the presets: valgrind memcheck over a benchmark run
# (linux tree), every fuzz target from its seeds and from an empty corpus
# (sanitize tree, two at a time), the benchmark programs built (linux tree;
# scripts/bench.sh builds them in Release and runs them), a project that
# includes this one with add_subdirectory() (scripts/embed-check.sh), and
# the benchmark over the tty provider against orvsim-serve with its timing
# and CPU targets (scripts/demo-tty.sh --check --timing-advisory: the timing
# is printed, the run fails on the rest; the timing target is for a quiet
# machine), the Debian packages built, linted, installed, used and removed
# (scripts/package-check.sh, root only), the Tango device server in a full
# deployment: MariaDB and the Tango database installed and started, the server
# registered, started by name and read by a client through the database, all
# removed and stopped again (scripts/tango-deploy-check.sh, root only, linux
# tree), and the Windows zip unpacked and run
# under wine (scripts/windows-zip-check.sh, after the windows preset), and the
# Windows installer installed, used and removed under wine
# (scripts/windows-installer-check.sh, after the windows preset).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

source scripts/ccache-env.sh

read -r -a presets <<<"${ORV_PRESETS-linux sanitize tsan windows}"
read -r -a checks <<<"${ORV_CHECKS-format valgrind fuzz bench embed tty-demo package tango-deploy windows-zip windows-installer}"
jobs="${ORV_JOBS:-2}"
# Most tests wait on modelled instrument time (the NIR idle gaps, real-time
# links) rather than compute, so tests run four to a job.
test_jobs="${ORV_TEST_JOBS:-$((jobs * 4))}"
logdir="build/logs"
mkdir -p "$logdir"

# wine keeps its prefix in $HOME; make sure there is one.
export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
export WINEDEBUG=-all
WINESERVER=/usr/lib/wine/wineserver
WINE64=/usr/lib/wine/wine64
started_wineserver=0

# The windows tests run every test executable under wine. A persistent
# wineserver, started detached from our output pipes, keeps wine's start-up
# cost to one boot per run and keeps ctest from waiting on wine's helpers.
# During development the server is shared, so it is left running unless this
# script started it or runs in CI.
start_wineserver() {
  if ! pgrep wineserver >/dev/null; then
    setsid "$WINESERVER" -p </dev/null >/dev/null 2>&1 &
    started_wineserver=1
    sleep 1
  fi
  # Creates the prefix on a fresh machine; skip the Mono/Gecko installers.
  WINEDLLOVERRIDES="mscoree=;mshtml=" setsid "$WINE64" wineboot </dev/null >/dev/null 2>&1 || true
}

stop_wineserver() {
  if [ "$started_wineserver" = 1 ] || [ -n "${CI:-}" ]; then
    "$WINESERVER" -k >/dev/null 2>&1 || true
  fi
}
trap stop_wineserver EXIT

# The closing table: every step in order, its result and its seconds.
steps=()
declare -A result seconds
failed=0
start_all=$SECONDS
setup_seconds="${ORV_SETUP_SECONDS:-}"  # .ci/run times scripts/setup.sh
if [ -n "$setup_seconds" ]; then
  steps+=(setup)
  result[setup]="ok (scripts/setup.sh)"
  seconds[setup]=$setup_seconds
fi

# record STEP START TEXT: a finished step for the table.
record() {
  steps+=("$1")
  seconds[$1]=$((SECONDS - $2))
  result[$1]="$3"
}

run_check() {
  local name="$1"
  shift
  local start=$SECONDS log="$logdir/check-$name.log"
  echo "=== check: $name"
  if "$@" >"$log" 2>&1; then
    record "$name" "$start" "ok: $(tail -n 1 "$log")"
  else
    tail -n 30 "$log"
    record "$name" "$start" "FAILED (log: $log)"
    failed=1
  fi
}

# test_preset PRESET: ctest, its counts, failing cases by name and the slowest tests.
test_preset() {
  local preset="$1" start=$SECONDS testlog="$logdir/$1-test.log" results="build/$1/gtest-results"
  echo "=== $preset: test"
  rm -rf "$results"
  set +e
  # The full listing goes to the log; the terminal gets failures and the summary.
  ctest --preset "$preset" -j "$test_jobs" 2>&1 | tee "$testlog" |
    grep -v -E '^ +Start +[0-9]+: |Passed +[0-9.]+ sec$'
  local rc=${PIPESTATUS[0]}
  set -e
  local outcome cases
  outcome="$(grep -E 'tests passed, .* tests failed out of' "$testlog" || true)"
  outcome="${outcome/tests passed, /CTest tests passed, }"
  cases="$(python3 scripts/gtest_results.py "$results" 2>&1)" || rc=1
  {
    echo "slowest 20 CTest tests of $preset:"
    python3 scripts/gtest_results.py --ctest-slowest "$testlog" 20
    echo "slowest 20 GoogleTest cases of $preset:"
    python3 scripts/gtest_results.py "$results" --slowest 20 || true
  } | tee -a "$testlog"
  echo "$cases" | sed -n '2,$p'  # the failed cases, by name
  if [ "$rc" != 0 ] || [ -z "$outcome" ]; then
    record "$preset test" "$start" "FAILED: ${outcome:-ctest did not finish}; ${cases%%$'\n'*} (log: $testlog)"
    failed=1
  else
    record "$preset test" "$start" "$outcome; ${cases%%$'\n'*}"
  fi
}

if [[ " ${checks[*]} " == *" format "* ]]; then run_check format bash scripts/format.sh --check; fi

# Two lanes: the presets build one after the other in the background, each
# at the lowest CPU priority, while the tests of the presets already built
# run in order in the foreground. Most tests wait on modelled instrument time
# and leave the processor idle; the low priority keeps a compile from
# delaying a test's wake-up. Each build's result and seconds land in
# $logdir/<preset>.built ("<status> <seconds>").
build_lane() {
  local preset start rc
  for preset in "$@"; do
    start=$SECONDS
    rc=0
    { cmake --preset "$preset" && nice -n 19 cmake --build --preset "$preset" -j "$jobs"; } \
      >"$logdir/$preset.log" 2>&1 || rc=$?
    echo "$rc $((SECONDS - start))" >"$logdir/$preset.built.part"
    mv "$logdir/$preset.built.part" "$logdir/$preset.built"
  done
}

# wait_built PRESET: waits for the build lane to finish PRESET, then records it.
# False when the build failed or the lane ended without it.
wait_built() {
  local preset="$1" built="$logdir/$1.built"
  while [ ! -f "$built" ]; do
    if ! kill -0 "$build_lane_pid" 2>/dev/null && [ ! -f "$built" ]; then
      record "$preset build" "$SECONDS" "FAILED (the build lane ended without it)"
      failed=1
      return 1
    fi
    sleep 1
  done
  local rc build_seconds
  read -r rc build_seconds <"$built"
  steps+=("$preset build")
  seconds["$preset build"]=$build_seconds
  if [ "$rc" != 0 ]; then
    tail -n 60 "$logdir/$preset.log"
    result["$preset build"]="FAILED (log: $logdir/$preset.log)"
    failed=1
    return 1
  fi
  result["$preset build"]="ok"
}

if [ "${#presets[@]}" -gt 0 ]; then
  for preset in "${presets[@]}"; do rm -f "$logdir/$preset.built" "$logdir/$preset.built.part"; done
  echo "=== configure and build in the background, in turn: ${presets[*]}"
  build_lane "${presets[@]}" &
  build_lane_pid=$!
  for preset in "${presets[@]}"; do
    wait_built "$preset" || continue
    if [ "$preset" = windows ]; then start_wineserver; fi
    test_preset "$preset"
  done
  wait "$build_lane_pid" || true
fi

for check in "${checks[@]}"; do
  case "$check" in
    format) ;;  # ran first
    valgrind) run_check valgrind bash scripts/valgrind-demo.sh ;;
    fuzz)
      # The targets build in the sanitize tree; two run at a time.
      run_check fuzz env ORV_FUZZ_JOBS="$jobs" bash -c 'scripts/fuzz.sh "$0" && scripts/fuzz.sh --empty "$1"' \
        "${ORV_FUZZ_SECONDS:-15}" "${ORV_FUZZ_EMPTY_SECONDS:-5}"
      ;;
    bench)
      # The Google Benchmark programs build in the linux tree (scripts/bench.sh
      # builds them in Release for the measurements).
      run_check bench bash -c 'cmake --preset linux >/dev/null &&
        cmake --build --preset linux -j "$0" --target orv_bench orv_modeled_reply orv_read_loop orv_crc_ways orv_parallel_reads orv_processing_bench orv_hdf5_series_bench &&
        echo "bench programs built in build/linux/bin"' "$jobs"
      ;;
    embed) run_check embed env ORV_JOBS="$jobs" bash scripts/embed-check.sh ;;
    tty-demo) run_check tty-demo bash scripts/demo-tty.sh --check --timing-advisory ;;
    package) run_check package env ORV_JOBS="$jobs" bash scripts/package-check.sh ;;
    tango-deploy) run_check tango-deploy bash scripts/tango-deploy-check.sh ;;
    windows-zip) run_check windows-zip env ORV_JOBS="$jobs" bash scripts/windows-zip-check.sh ;;
    windows-installer) run_check windows-installer env ORV_JOBS="$jobs" bash scripts/windows-installer-check.sh ;;
    *)
      echo "unknown check: $check"
      failed=1
      ;;
  esac
done

total=$((SECONDS - start_all + ${setup_seconds:-0}))
echo
echo "=== summary"
printf '  %-16s %6s  %s\n' step seconds result
for name in "${steps[@]}"; do
  printf '  %-16s %6d  %s\n' "$name" "${seconds[$name]}" "${result[$name]}"
done
printf '  %-16s %6d  %s\n' total "$total" "$([ "$failed" = 0 ] && echo "all passed" || echo "FAILED")"
exit "$failed"
