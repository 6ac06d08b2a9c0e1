#!/usr/bin/env bash
# Configures, builds and tests the presets linux, sanitize, tsan (the threaded
# tests under ThreadSanitizer) and windows (under wine) and prints how many
# tests each ran. Exits non-zero when
# any configure, build or test step fails; the remaining presets still run.
#
#   ORV_PRESETS="linux windows" scripts/test-all.sh   # a subset
#   ORV_JOBS=4 scripts/test-all.sh                   # parallel jobs (default 2)
#   ORV_CHECKS="valgrind" scripts/test-all.sh         # extra checks (default: all)
#
# Checks: the format check (scripts/format.sh --check) runs first, before the
# presets, as it takes seconds. After the presets: valgrind memcheck over a
# benchmark run (needs the linux build), every fuzz target from its seeds and
# from an empty corpus, a build of the benchmark programs (bench preset; they
# are run by scripts/bench.sh), a project that includes this one with
# add_subdirectory() (scripts/embed-check.sh), and the benchmark over the tty
# provider against orvsim-serve with its timing and CPU targets
# (scripts/demo-tty.sh --check --timing-advisory: the timing is printed, the
# run fails on the rest; the timing target is for a quiet machine), the Debian
# packages built, linted, installed, used and removed
# (scripts/package-check.sh, root only), and the Windows zip unpacked and run
# under wine (scripts/windows-zip-check.sh, after the windows preset), and the
# Windows installer installed, used and removed under wine
# (scripts/windows-installer-check.sh, after the windows preset).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

read -r -a presets <<<"${ORV_PRESETS:-linux sanitize tsan windows}"
read -r -a checks <<<"${ORV_CHECKS-format valgrind fuzz bench embed tty-demo package windows-zip windows-installer}"
jobs="${ORV_JOBS:-2}"
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

declare -A summary
failed=0
start_all=$SECONDS

run_check() {
  local name="$1"
  shift
  local start=$SECONDS log="$logdir/check-$name.log"
  echo "=== check: $name"
  if "$@" >"$log" 2>&1; then
    summary[$name]="ok: $(tail -n 1 "$log")"
  else
    tail -n 30 "$log"
    summary[$name]="FAILED (log: $log)"
    failed=1
  fi
  summary[$name]+=" [$((SECONDS - start)) s]"
}

if [[ " ${checks[*]} " == *" format "* ]]; then run_check format bash scripts/format.sh --check; fi

for preset in "${presets[@]}"; do
  start=$SECONDS
  log="$logdir/$preset.log"
  echo "=== $preset: configure and build"
  if ! { cmake --preset "$preset" && cmake --build --preset "$preset" -j "$jobs"; } >"$log" 2>&1; then
    tail -n 60 "$log"
    summary[$preset]="BUILD FAILED (log: $log)"
    failed=1
    continue
  fi
  if [ "$preset" = windows ]; then start_wineserver; fi
  echo "=== $preset: test"
  testlog="$logdir/$preset-test.log"
  set +e
  # The full listing goes to the log; the terminal gets failures and the summary.
  ctest --preset "$preset" -j "$jobs" 2>&1 | tee "$testlog" |
    grep -v -E '^ +Start +[0-9]+: |Passed +[0-9.]+ sec$'
  rc=${PIPESTATUS[0]}
  set -e
  result="$(grep -E 'tests passed, .* tests failed out of' "$testlog" || true)"
  if [ "$rc" != 0 ] || [ -z "$result" ]; then
    summary[$preset]="FAILED: ${result:-ctest did not finish} (log: $testlog)"
    failed=1
  else
    summary[$preset]="$result"
  fi
  summary[$preset]+=" [$((SECONDS - start)) s]"
done

for check in "${checks[@]}"; do
  case "$check" in
    format) ;;  # ran first
    valgrind) run_check valgrind bash scripts/valgrind-demo.sh ;;
    fuzz)
      run_check fuzz bash -c 'scripts/fuzz.sh "$0" && scripts/fuzz.sh --empty "$1"' \
        "${ORV_FUZZ_SECONDS:-15}" "${ORV_FUZZ_EMPTY_SECONDS:-5}"
      ;;
    bench) run_check bench bash -c 'cmake --preset bench && cmake --build --preset bench -j "$0"' "$jobs" ;;
    embed) run_check embed env ORV_JOBS="$jobs" bash scripts/embed-check.sh ;;
    tty-demo) run_check tty-demo bash scripts/demo-tty.sh --check --timing-advisory ;;
    package) run_check package env ORV_JOBS="$jobs" bash scripts/package-check.sh ;;
    windows-zip) run_check windows-zip env ORV_JOBS="$jobs" bash scripts/windows-zip-check.sh ;;
    windows-installer) run_check windows-installer env ORV_JOBS="$jobs" bash scripts/windows-installer-check.sh ;;
    *) echo "unknown check: $check"; failed=1 ;;
  esac
done

echo
echo "=== summary ($((SECONDS - start_all)) s)"
for name in "${presets[@]}" "${checks[@]}"; do
  printf '  %-9s %s\n' "$name" "${summary[$name]:-not run}"
done
exit "$failed"
