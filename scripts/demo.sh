#!/usr/bin/env bash
# The demo: installs what is missing, builds the benchmark program with liborv
# and the simulated D2XX provider, and runs it on the built-in default
# scenario of simulated instruments (two UVVIS_ORV, one NIR_LEGACY and one
# foreign FTDI device). Takes about a minute on a fresh machine.
#
#   bash scripts/demo.sh              # Linux build
#   bash scripts/demo.sh --windows    # Windows build, run under wine64
#   ORVSIM_SCENARIO=file.json bash scripts/demo.sh   # another scenario
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

preset=linux
if [ "${1:-}" = "--windows" ]; then preset=windows; fi

# The Linux demo needs the Linux build only; the Windows one also mingw-w64 and wine.
if [ "$preset" = windows ]; then bash scripts/setup.sh >&2; else bash scripts/setup.sh --demo >&2; fi
{ cmake --preset "$preset" && cmake --build --preset "$preset" -j 2 --target velmar_multi_device_speed; } >&2

if [ "$preset" = windows ]; then
  export WINEDEBUG=-all
  export HOME="${HOME:-$(getent passwd "$(id -u)" | cut -d: -f6)}"
  if ! pgrep wineserver >/dev/null; then
    setsid /usr/lib/wine/wineserver -p </dev/null >/dev/null 2>&1 &
    sleep 1
  fi
  WINEDLLOVERRIDES="mscoree=;mshtml=" setsid /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true
  exec /usr/lib/wine/wine64 "build/windows/bin/velmar_multi_device_speed.exe"
fi
exec "build/linux/bin/velmar_multi_device_speed"
