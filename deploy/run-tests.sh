#!/usr/bin/env bash
# Builds and runs every test: the native suite, the same suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer, a bounded run of each
# fuzz target of the request front end (FUZZ_SECONDS each, default 60) and
# of the handler target that runs every request handler in-process
# (HANDLER_FUZZ_SECONDS, default 120), and the suite cross-built for 32-bit
# ARM under qemu-arm.
set -euo pipefail
cd "$(dirname "$0")/.."
bash deploy/install-deps.sh
jobs=$(nproc)

echo "== native build and tests =="
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DNVR_BUILD_TESTS=ON >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

echo "== sanitizer build and tests =="
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DNVR_SANITIZE=ON -DNVR_BUILD_TESTS=ON >/dev/null
cmake --build build-asan -j"$jobs"
(cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 ctest --output-on-failure -j"$jobs")

echo "== fuzzing the request front end and the handlers =="
FUZZ_SECONDS=${FUZZ_SECONDS:-60} HANDLER_FUZZ_SECONDS=${HANDLER_FUZZ_SECONDS:-120} bash fuzz/run.sh

echo "== 32-bit ARM build and tests =="
bash deploy/run-arm-tests.sh
