#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, if any is
# missing: compilers (g++, clang-14, mingw-w64 posix), clang-format-14, CMake
# and Ninja, GoogleTest (also its sources for the Windows build), Google
# Benchmark, nlohmann-json, CLI11 (orvsim-serve's arguments), wine64,
# valgrind, python3, and what the Python package and its tests use: numpy,
# venv, setuptools, wheel, pytest, matplotlib and mypy; for the orv program
# pkgconf, fmt, cairo, cpp-httplib, Chart.js and a font, and for its browser
# test Chromium, its driver and Selenium. Runs apt-get update once, and only
# when something has to be installed. Needs root (uses sudo otherwise).
set -euo pipefail

PACKAGES=(
  cmake ninja-build g++ clang-14 libclang-rt-14-dev clang-format-14
  libgtest-dev libgmock-dev googletest libbenchmark-dev nlohmann-json3-dev
  g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
  wine64 wine valgrind python3 procps libcli11-dev
  python3-numpy python3-venv python3-setuptools python3-wheel python3-pytest python3-matplotlib
  python3-mypy
  pkgconf libfmt-dev libcairo2-dev libcpp-httplib-dev libjs-chart.js fonts-dejavu-core
  chromium chromium-driver python3-selenium
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#PACKAGES[@]} packages present"
  exit 0
fi

SUDO=()
if [ "$(id -u)" -ne 0 ]; then SUDO=(sudo); fi
echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q
"${SUDO[@]}" apt-get install -y -q "${missing[@]}"
