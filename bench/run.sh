#!/usr/bin/env bash
# Benchmarks, printed as a small table:
#  (a) instructions (callgrind) and wall time (hyperfine) of webcgi for a GET
#      that reaches no handler, against an empty static C program;
#  (b) wall time of one complete exchange with zrcore-sim through
#      cgi_start_ipc (send, reply, wake).
set -euo pipefail
cd "$(dirname "$0")/.."
bash deploy/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DNVR_BUILD_TESTS=OFF >/dev/null
cmake --build build-bench -j"$(nproc)" --target webcgi zrcore-sim ipc_bench empty_static >/dev/null
b=build-bench
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

instr() {  # instructions of one run of "$@"
  valgrind --tool=callgrind --callgrind-out-file="$tmp/cg.out" "$@" 2>&1 >/dev/null |
    sed -n 's/.*refs: *\([0-9,]*\).*/\1/p' | tr -d ,
}
export REQUEST_METHOD=GET PATH_INFO=/9999 QUERY_STRING='{%22chn%22:1}' NVR_ROOT="$tmp"
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
median=$(echo "$ipc" | sed -n 's/.*median \([0-9.]*\) ms.*/\1/p')

printf '| benchmark | figure | target |\n|---|---|---|\n'
printf '| webcgi GET, no handler: instructions | %s (empty static program %s, ratio %sx) | at most 4x |\n' "$i_cgi" "$i_empty" "$ratio"
printf '| webcgi GET, no handler: median wall time | %s ms (empty static program %s ms) | |\n' "$t_cgi" "$t_empty"
printf '| core exchange through cgi_start_ipc: median | %s ms | under 2 ms |\n' "$median"
echo
echo "ipc_bench: $ipc"
