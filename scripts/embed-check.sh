#!/usr/bin/env bash
# Builds tests/embed/consumer, a project that includes this repository with
# add_subdirectory() and links orv::orv, with the including project's
# defaults (no tests, warnings not errors), then runs its program against the
# simulated provider. Proves the project configures inside another one
# (every CMake file of it, the included project's settings left alone), that
# liborv and the simulated provider build there and that the consumer finds
# both at run time. The project's other programs are not built here: their
# sources are the same, compiled with stricter flags (warnings as errors) by
# the presets, and the consumer runs none of them.
#
#   scripts/embed-check.sh              # build/embed
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build=build/embed
cmake -S tests/embed/consumer -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j "${ORV_JOBS:-2}" --target embed_consumer ftd2xx
env -u ORVSIM_SCENARIO "$build/embed_consumer"
