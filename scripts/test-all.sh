#!/usr/bin/env bash
# Configures, builds and tests the presets linux, sanitize and windows (the
# last under wine) and prints how many tests each ran. Exits non-zero when
# any configure, build or test step fails; the remaining presets still run.
#
#   ORV_PRESETS="linux windows" scripts/test-all.sh   # a subset
#   ORV_JOBS=4 scripts/test-all.sh                   # parallel jobs (default 2)
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

read -r -a presets <<<"${ORV_PRESETS:-linux sanitize windows}"
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

echo
echo "=== summary ($((SECONDS - start_all)) s)"
for preset in "${presets[@]}"; do
  printf '  %-9s %s\n' "$preset" "${summary[$preset]}"
done
exit "$failed"
