#!/usr/bin/env bash
# Cross-builds for the recorder's 32-bit ARM (armhf) and runs the whole test
# suite under qemu-user: ctest runs the test program through the emulator,
# and the end-to-end tests start the ARM webcgi and zrcore-sim through it.
# Only what the tests need is built (no fuzz targets, no benchmarks).
set -euo pipefail
cd "$(dirname "$0")/.."
bash deploy/install-arm-deps.sh
jobs=$(nproc)

echo "== ARM (armhf) cross build and tests under qemu-arm =="
cmake -S . -B build-arm -DCMAKE_TOOLCHAIN_FILE=cmake/armhf-toolchain.cmake \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNVR_FUZZ=OFF -DNVR_SANITIZE=OFF -DNVR_BUILD_TESTS=ON >/dev/null
# The test program depends on every program the tests run (webcgi,
# zrcore-sim, tools), so building it builds exactly those.
cmake --build build-arm -j"$jobs" --target nvr_tests
(cd build-arm && ctest --output-on-failure -j"$jobs")
