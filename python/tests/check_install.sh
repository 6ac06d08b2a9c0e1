#!/usr/bin/env bash
# Runs the documented install command (python/install.sh) into a fresh VENV,
# then uses the installed package from outside the source tree: its version,
# and its bundled liborv driving the D2XX library named by ORV_D2XX_LIBRARY.
#
#   check_install.sh VENV D2XX_LIBRARY
set -euo pipefail
venv="$1"
provider="$2"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"

rm -rf "$venv"
env -u ORV_LIBRARY -u PYTHONPATH bash "$root/python/install.sh" "$venv"
cd /
env -u ORV_LIBRARY -u PYTHONPATH "$venv/bin/python" -c "import orv; print(orv.__version__)"
env -u ORV_LIBRARY -u PYTHONPATH ORV_D2XX_LIBRARY="$provider" "$venv/bin/python" - "$venv" <<'PY'
import sys
import orv

venv = sys.argv[1]
assert orv.__file__.startswith(venv), orv.__file__
libraries = orv.loaded_libraries()
assert libraries["liborv"].startswith(venv + "/"), libraries
print("liborv:", libraries["liborv"])
print("devices:", ", ".join(str(device) for device in orv.list_devices()))
with orv.Spectrometer(serial="ORVSIM02") as spectrometer:
    print("ORVSIM02:", spectrometer.info.model, spectrometer.intensities().shape)
PY
