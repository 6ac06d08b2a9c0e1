#!/usr/bin/env bash
# The demo over ttys: builds the linux preset's benchmark program, liborv,
# the tty D2XX provider and orvsim-serve, serves the simulator's default
# scenario on pseudo-terminals and runs the benchmark through the tty
# provider against it, then stops the server. The report goes to standard
# output; the timing of every case against the modelled time and the CPU
# time of the run go to standard error. Linux only; about a minute.
#
#   bash scripts/demo-tty.sh                          # the default scenario
#   ORVSIM_SCENARIO=file.json bash scripts/demo-tty.sh # another scenario
#   bash scripts/demo-tty.sh --check                  # exit 1 when a target is missed
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

bash scripts/setup.sh --demo >&2
{ cmake --preset linux && cmake --build --preset linux -j 2 \
    --target velmar_multi_device_speed orv ftd2xx_tty orvsim-serve; } >&2
exec /usr/bin/python3 scripts/demo_tty.py --bin build/linux/bin "$@"
