#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, if any is
# missing. Runs apt-get update once, and only when something has to be
# installed. Needs root (uses sudo otherwise).
#
#   bash scripts/setup.sh          everything: all presets, tests and checks
#   bash scripts/setup.sh --demo   only what the Linux build needs
#                                  (scripts/demo.sh, scripts/demo-tty.sh)
#
# The Linux build (linux preset): g++, CMake and Ninja, GoogleTest,
# nlohmann-json, CLI11, python3, and for the orv program pkgconf, fmt, cairo,
# cpp-httplib, Chart.js and libhdf5 (--format hdf5). Everything adds: clang-14 (sanitize preset with
# the fuzz targets, tsan), clang-format-14, mingw-w64 posix and the GoogleTest sources
# (windows preset), wine64, Google Benchmark, valgrind, what the Python
# package and its tests use (numpy, venv, setuptools, wheel, pytest,
# matplotlib, mypy), h5py and hdf5-tools (h5dump), the independent HDF5
# readers of the orv tests, a font for the plots, Chromium, its driver and Selenium
# for the orv program's browser test, doxygen (API reference), and for the
# packages dpkg-dev, lintian, unzip, nsis (the Windows installer) and ccache
# (the package check builds the same files twice), the source package
# of cpp-httplib for the Windows build of orv serve (its header-only form),
# and node and npm with the npm package jcampconverter, the independent
# JCAMP-DX reader of the orv tests (scripts/jcampconverter.sh). npm is
# installed only where no npm is found (a node that brings its own has it).
set -euo pipefail

DEMO_PACKAGES=(
  cmake ninja-build g++ python3 procps
  libgtest-dev libgmock-dev nlohmann-json3-dev libcli11-dev
  pkgconf libfmt-dev libcairo2-dev libfreetype-dev libcpp-httplib-dev libjs-chart.js
  libhdf5-dev
)
ALL_PACKAGES=(
  "${DEMO_PACKAGES[@]}"
  clang-14 libclang-rt-14-dev clang-format-14 googletest libbenchmark-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  wine64 wine valgrind
  python3-numpy python3-venv python3-setuptools python3-wheel python3-pytest python3-matplotlib
  python3-mypy python3-h5py hdf5-tools fonts-dejavu-core
  chromium chromium-driver python3-selenium
  libtango-dev python3-tango
  doxygen dpkg-dev lintian unzip nsis ccache nodejs
)

case "${1:-}" in
  "")
    PACKAGES=("${ALL_PACKAGES[@]}")
    if ! command -v npm >/dev/null; then PACKAGES+=(npm); fi
    ;;
  --demo) PACKAGES=("${DEMO_PACKAGES[@]}") ;;
  *)
    echo "usage: $0 [--demo]" >&2
    exit 2
    ;;
esac

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

# The Windows build of orv serve uses Debian's cpp-httplib in its
# header-only form, from the source package (scripts/httplib-source.sh); the
# JCAMP-DX tests read with jcampconverter (scripts/jcampconverter.sh).
unpacked_extras() {
  if [ "${1:-}" != --demo ]; then
    "${SUDO[@]}" bash "$(dirname "$0")/httplib-source.sh"
    "${SUDO[@]}" bash "$(dirname "$0")/jcampconverter.sh"
  fi
}

SUDO=()
if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#PACKAGES[@]} packages present"
  unpacked_extras "${1:-}"
  exit 0
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q "${missing[@]}"
unpacked_extras "${1:-}"
