#!/usr/bin/env bash
# Benchmarks, printed as a small table:
#  (a) instructions (callgrind) and wall time (hyperfine) of webcgi for a GET
#      that reaches no handler, against an empty static C program;
#  (b) wall time of one complete exchange with zrcore-sim through
#      cgi_start_ipc (send, reply, wake);
#  (c) wall time of webcgi, process start to exit, for playback requests
#      against zrcore-sim: a steering request ("/4004" pause, no wait) and a
#      waiting one ("/4002" play time), against the empty static program;
#  (d) instructions of every registered name (bench/cost.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
bash deploy/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DNVR_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target webcgi zrcore-sim zrdb ipc_bench empty_static bench_names >/dev/null
b=build-bench
tmp=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$tmp"' EXIT

instr() {  # instructions of one run of "$@"
  valgrind --tool=callgrind --callgrind-out-file="$tmp/cg.out" "$@" 2>&1 >/dev/null |
    sed -n 's/.*refs: *\([0-9,]*\).*/\1/p' | tr -d ,
}
export NVR_ROOT="$tmp" REMOTE_ADDR=127.0.0.1
mkdir -p "$tmp/dev/shm" "$tmp/tmp"
# The core daemon stand-in and a signed-in administrator: every request below
# passes the access check, as a page's requests do.
"$b/zrcore-sim" --root "$tmp" >/dev/null 2>&1 &
sim=$!
for _ in $(seq 1 100); do [ -S "$tmp/var/run/zrsocket" ] && break; sleep 0.05; done
"$b/zrdb" seed --admin-password bench >/dev/null
login="{\"userName\":\"admin\",\"md5\":\"$(printf bench | md5sum | cut -d' ' -f1)\"}"
sid=$(printf '%s' "$login" | REQUEST_METHOD=POST PATH_INFO=/1000 CONTENT_TYPE=application/json \
  CONTENT_LENGTH=${#login} "$b/webcgi" | sed -n 's/.*"sessionId":"\([0-9]*\)".*/\1/p')
[ -n "$sid" ] || { echo "bench: login failed" >&2; exit 1; }
export HTTP_COOKIE="userName=admin; sessionId=$sid"
export REQUEST_METHOD=GET PATH_INFO=/9999 QUERY_STRING='{%22chn%22:1}'
i_empty=$(instr "$b/bench/empty_static")
i_cgi=$(instr "$b/webcgi")
ratio=$(awk -v a="$i_cgi" -v b="$i_empty" 'BEGIN { printf "%.2f", a / b }')
hyperfine -N --warmup 20 --runs 300 --export-json "$tmp/hf.json" "$b/bench/empty_static" "$b/webcgi" >/dev/null 2>&1
read -r t_empty t_cgi < <(python3 - "$tmp/hf.json" <<'PY'
import json, sys
r = json.load(open(sys.argv[1]))["results"]
print(" ".join("%.3f" % (x["median"] * 1000) for x in r))
PY
)
ipc=$("$b/bench/ipc_bench" "$b/zrcore-sim" 500)

# (c) playback requests end to end against zrcore-sim.
body='{"channelId":0,"sid":5,"playTime":"2026-12-07 08:00:00","startTime":"2026-12-07 00:00:00","endTime":"2026-12-07 23:59:59"}'
printf '%s' "$body" | REQUEST_METHOD=POST PATH_INFO=/4001 CONTENT_TYPE=application/json \
  CONTENT_LENGTH=${#body} "$b/webcgi" >/dev/null  # opens playback session 5
playback() {  # median ms of webcgi for PATH_INFO=$1 QUERY_STRING=$2
  PATH_INFO=$1 QUERY_STRING=$2 hyperfine -N --warmup 20 --runs 300 --export-json "$tmp/pb.json" "$b/webcgi" >/dev/null 2>&1
  python3 -c 'import json,sys; print("%.3f" % (json.load(open(sys.argv[1]))["results"][0]["median"] * 1000))' "$tmp/pb.json"
}
t_steer=$(playback /4004 '{%22num%22:1,%22sid%22:[5]}')
t_wait=$(playback /4002 5)
r_steer=$(awk -v a="$t_steer" -v b="$t_empty" 'BEGIN { printf "%.2f", a / b }')
r_wait=$(awk -v a="$t_wait" -v b="$t_empty" 'BEGIN { printf "%.2f", a / b }')
median=$(echo "$ipc" | sed -n 's/.*median \([0-9.]*\) ms.*/\1/p')

printf '| benchmark | figure | target |\n|---|---|---|\n'
printf '| webcgi GET, no handler: instructions | %s (empty static program %s, ratio %sx) | at most 4x |\n' "$i_cgi" "$i_empty" "$ratio"
printf '| webcgi GET, no handler: median wall time | %s ms (empty static program %s ms) | |\n' "$t_cgi" "$t_empty"
printf '| core exchange through cgi_start_ipc: median | %s ms | under 2 ms |\n' "$median"
printf '| webcgi "/4004" playback pause (no wait): median wall time | %s ms (%sx the empty program) | under 3 ms |\n' "$t_steer" "$r_steer"
printf '| webcgi "/4002" play time (waiting exchange): median wall time | %s ms (%sx the empty program) | under 3 ms |\n' "$t_wait" "$r_wait"
echo
echo "ipc_bench: $ipc"

# (d) instructions of a typical signed-in request of every registered name.
echo
NVR_BENCH_NO_BUILD=1 bash bench/cost.sh
