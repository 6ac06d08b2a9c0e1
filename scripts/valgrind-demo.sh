#!/usr/bin/env bash
# Runs the benchmark program over the demo instruments (the simulator's
# default scenario, time-scaled so the run takes seconds) under valgrind
# memcheck. Fails on any memory error, on memory definitely or indirectly
# lost, and on a run that does not end with exit status 0.
#
#   scripts/valgrind-demo.sh            # build/linux
#   ORV_BUILD_DIR=build/x scripts/valgrind-demo.sh
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build="${ORV_BUILD_DIR:-build/linux}"
logdir="build/logs"
mkdir -p "$logdir"
log="$logdir/valgrind-demo.log"

if [ "$build" = build/linux ]; then cmake --preset linux >/dev/null; fi
cmake --build "$build" -j 2 --target velmar_multi_device_speed orv ftd2xx

scenario="$(mktemp --suffix=.json)"
trap 'rm -f "$scenario"' EXIT
python3 - d2xx/sim/scenarios/default.json "$scenario" <<'PY'
import json, sys
demo = json.load(open(sys.argv[1]))
demo["time_scale"] = 0.01
json.dump(demo, open(sys.argv[2], "w"))
PY

status=0
(cd "$build/bin" && ORVSIM_SCENARIO="$scenario" valgrind --tool=memcheck --error-exitcode=99 \
  --leak-check=full --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect \
  ./velmar_multi_device_speed) >"$log.out" 2>"$log" || status=$?

grep -E 'ERROR SUMMARY|definitely lost|indirectly lost' "$log" || true
if [ "$status" -ne 0 ]; then
  echo "valgrind-demo: FAILED (exit $status), log $log"
  exit 1
fi
devices=$(grep -c '^=== device ' "$log.out" || true)
cases=$(grep -c '^case ' "$log.out" || true)
# A full run: every instrument found got its four cases.
if [ "$devices" -eq 0 ] || [ "$cases" -ne $((4 * devices)) ]; then
  echo "valgrind-demo: FAILED, incomplete report ($devices instruments, $cases cases), see $log.out"
  exit 1
fi
echo "valgrind-demo: ok, $devices instruments, $cases cases"
