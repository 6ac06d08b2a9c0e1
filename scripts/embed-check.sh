#!/usr/bin/env bash
# Builds tests/embed/consumer, a project that includes this repository with
# add_subdirectory() and links orv::orv, with the including project's
# defaults (no tests, warnings not errors), then runs its program against the
# simulated provider. Proves the project builds inside another one.
#
#   scripts/embed-check.sh              # build/embed
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build=build/embed
cmake -S tests/embed/consumer -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "${ORV_JOBS:-2}"
env -u ORVSIM_SCENARIO "$build/embed_consumer"
