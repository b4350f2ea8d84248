#!/usr/bin/env bash
# Builds the libFuzzer targets with clang in build-fuzz, replays the kept
# regression inputs, then runs each target for FUZZ_SECONDS (default 60);
# the handler target, which runs every request handler, for
# HANDLER_FUZZ_SECONDS (default twice FUZZ_SECONDS).
# Exits non-zero when any target finds a failing input; the input is left
# in build-fuzz/artifacts/<target>/.
#   FUZZ_SECONDS=300 bash fuzz/run.sh            # all targets
#   bash fuzz/run.sh multipart capture           # some targets
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
jobs=${FUZZ_JOBS:-2}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(multipart cookie request_text capture handlers)

CC=clang CXX=clang++ cmake -S . -B build-fuzz -DNVR_FUZZ=ON -DNVR_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build-fuzz -j"$jobs" --target "${targets[@]/#/fuzz_}"

export NVR_TEST_TMP="$PWD/build-fuzz/fuzz-tmp"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}
mkdir -p "$NVR_TEST_TMP"
failed=()
for t in "${targets[@]}"; do
  bin="build-fuzz/fuzz/fuzz_$t"
  work="build-fuzz/corpus/$t"
  artifacts="$PWD/build-fuzz/artifacts/$t/"
  t_seconds=$seconds
  [ "$t" = handlers ] && t_seconds=${HANDLER_FUZZ_SECONDS:-$((seconds * 2))}
  mkdir -p "$work" "$artifacts"
  if compgen -G "fuzz/regressions/$t/*" >/dev/null; then
    echo "== $t: replaying kept regression inputs =="
    if ! "$bin" fuzz/regressions/"$t"/*; then
      failed+=("$t (regression)")
      continue
    fi
  fi
  echo "== $t: fuzzing for ${t_seconds}s =="
  if ! "$bin" -max_total_time="$t_seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
      -print_final_stats=1 -artifact_prefix="$artifacts" "$work" "fuzz/corpus/$t" \
      2>"build-fuzz/fuzz-$t.log"; then
    tail -n 40 "build-fuzz/fuzz-$t.log"
    failed+=("$t")
    continue
  fi
  grep -E "stat::number_of_executed_units|stat::average_exec_per_sec|stat::new_units_added|stat::peak_rss_mb" "build-fuzz/fuzz-$t.log" || true
done
rm -rf "$NVR_TEST_TMP"
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzzing found failures in: ${failed[*]} (inputs in build-fuzz/artifacts/)"
  exit 1
fi
echo "fuzzing: no failures"
