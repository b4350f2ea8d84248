#!/usr/bin/env bash
# Recording download benchmark: a 200 MiB recording (228 raw 640x480 frames,
# two data replies each) downloaded through webcgi from zrcore-sim, against
# `cat` of the same AVI bytes through a pipe; then the same download read by
# a slow client, with the peak memory of webcgi. See bench/download_bench.cpp.
#   bash bench/download.sh            (builds build-bench, Release)
#   NVR_BENCH_BUILD=build bash bench/download.sh   (an existing build dir)
set -euo pipefail
cd "$(dirname "$0")/.."
b=${NVR_BENCH_BUILD:-build-bench}
if [ -z "${NVR_BENCH_BUILD:-}" ]; then
  cmake -S . -B "$b" -DCMAKE_BUILD_TYPE=Release -DNVR_BUILD_TESTS=OFF >/dev/null
fi
cmake --build "$b" -j2 --target webcgi zrcore-sim zrdb download_bench >/dev/null
tmp=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$tmp"' EXIT
export NVR_ROOT="$tmp" REMOTE_ADDR=127.0.0.1 TZ=UTC
mkdir -p "$tmp/tmp" "$tmp/var/run/zrcore-sim"
printf 'frames=228\nwidth=640\nheight=480\nfps=25\n' >"$tmp/var/run/zrcore-sim/recording"
"$b/zrcore-sim" --root "$tmp" >/dev/null 2>&1 &
sim=$!
for _ in $(seq 1 100); do [ -S "$tmp/var/run/zrsocket" ] && break; sleep 0.05; done
"$b/zrdb" seed --admin-password bench >/dev/null
login="{\"userName\":\"admin\",\"md5\":\"$(printf bench | md5sum | cut -d' ' -f1)\"}"
sid=$(printf '%s' "$login" | REQUEST_METHOD=POST PATH_INFO=/1000 CONTENT_TYPE=application/json \
  CONTENT_LENGTH=${#login} "$b/webcgi" | sed -n 's/.*"sessionId":"\([0-9]*\)".*/\1/p')
[ -n "$sid" ] || { echo "bench: login failed" >&2; exit 1; }
export HTTP_COOKIE="userName=admin; sessionId=$sid"
"$b/bench/download_bench" "$b/webcgi" \
  '{"id":0,"startTime":"2024-01-02T03:00:00Z","endTime":"2024-01-02T03:00:10Z"}' "$tmp/rec.avi"
