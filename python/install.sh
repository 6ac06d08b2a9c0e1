#!/usr/bin/env bash
# Installs the orv Python package for the current user, offline, on Debian 12:
# the Debian packages it needs (scripts/setup.sh), liborv built with the linux
# preset and bundled into the package, and a virtual environment that sees
# Debian's numpy (and matplotlib, pytest) through its system site packages.
#
#   bash python/install.sh [VENV]        # default VENV: ~/.local/share/orv/venv
#   ~/.local/share/orv/venv/bin/python -c "import orv; print(orv.__version__)"
#
# ORV_BUILD_DIR names another configured build tree to take liborv from
# (default build/linux, configured here when missing). Nothing is fetched from
# the network: pip runs with --no-index and --no-build-isolation, using
# Debian's setuptools and wheel.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${1:-${HOME}/.local/share/orv/venv}"
build="${ORV_BUILD_DIR:-$root/build/linux}"
python=/usr/bin/python3

bash "$root/scripts/setup.sh"

if [ ! -f "$build/CMakeCache.txt" ]; then
  (cd "$root" && cmake --preset linux)
fi
cmake --build "$build" --target orv -j 2

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
# The installed liborv (no build-tree RUNPATH: it uses the system's D2XX
# library), and a copy of the package sources so that the build writes
# nothing into the source tree.
cmake --install "$build" --prefix "$work/stage" >/dev/null
cp -r "$root/python/pyproject.toml" "$root/python/setup.py" "$root/python/orv" "$work/"
rm -rf "$work/orv/_lib"

if [ ! -x "$venv/bin/python" ]; then
  "$python" -m venv --system-site-packages "$venv"
fi
ORV_BUNDLE_LIBRARY="$work/stage/lib/liborv.so" \
  "$venv/bin/python" -m pip install --quiet --no-index --no-build-isolation --no-cache-dir \
  --force-reinstall --no-deps "$work"
"$venv/bin/python" -c "import numpy, orv; print('orv', orv.__version__, 'installed in $venv')"
