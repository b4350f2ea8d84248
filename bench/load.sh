#!/usr/bin/env bash
# Load benchmark behind lighttpd (the demo's configuration, 127.0.0.1 only):
# wrk, 64 connections, 10 s each, in one run:
#  floor  a static C CGI that only prints "OK" (bench/ok.c);
#  read   signed-in "/6044" with query "2" (record settings of channel 2);
#  save   signed-in "/6045" JSON POST of the same settings (answers {"resp":0}).
# Prints requests/s, p99 latency, non-2xx/socket errors and the ratio to the
# floor. Targets: read >= 0.5 of the floor, save >= 0.25, no errors.
#   bash bench/load.sh    (NVR_BENCH_BUILD=build-bench, LOAD_SECONDS=10,
#                          LOAD_CONNECTIONS=64, LOAD_THREADS=2, LOAD_PORT=18480)
set -euo pipefail
cd "$(dirname "$0")/.."
bash deploy/install-deps.sh
b=${NVR_BENCH_BUILD:-build-bench}
cmake -S . -B "$b" -DCMAKE_BUILD_TYPE=Release -DNVR_BUILD_TESTS=OFF >/dev/null
cmake --build "$b" -j"$(nproc)" --target webcgi zrcore-sim zrdb ok_static >/dev/null
secs=${LOAD_SECONDS:-10}
conns=${LOAD_CONNECTIONS:-64}
threads=${LOAD_THREADS:-2}
port=${LOAD_PORT:-18480}

root=$(mktemp -d)
sim=
stop() {
  [ -f "$root/run/lighttpd.pid" ] && kill "$(cat "$root/run/lighttpd.pid")" 2>/dev/null || true
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  sleep 0.2
  rm -rf "$root"
}
trap stop EXIT
mkdir -p "$root"/{www/cgi-bin,run,tmp,var/run,mnt/nand/app,mnt/nand2,dev/shm,opt/app/www/webfile/json,opt/app/trans,bin}
cp deploy/trans/*.txt "$root/opt/app/trans/"
cp "$b/webcgi" "$root/www/cgi-bin/webcgi"
cp "$b/bench/ok_static" "$root/www/cgi-bin/ok"
NVR_ROOT="$root" "$b/zrdb" seed --admin-password bench --demo >/dev/null
bash deploy/lighttpd-conf.sh "$root" "$port" > "$root/run/lighttpd.conf"
"$b/zrcore-sim" --root "$root" >"$root/run/zrcore-sim.log" 2>&1 &
sim=$!
for _ in $(seq 1 100); do [ -S "$root/var/run/zrsocket" ] && break; sleep 0.05; done
lighttpd -f "$root/run/lighttpd.conf" </dev/null
for _ in $(seq 1 100); do curl -s -o /dev/null "http://127.0.0.1:$port/" && break; sleep 0.05; done

url=http://127.0.0.1:$port/cgi-bin
login="{\"userName\":\"admin\",\"md5\":\"$(printf bench | md5sum | cut -d' ' -f1)\"}"
sid=$(curl -s -H 'Content-Type: application/json' --data-binary "$login" "$url/webcgi/1000" |
  sed -n 's/.*"sessionId" *: *"\{0,1\}\([0-9A-Za-z]*\)"\{0,1\}.*/\1/p')
[ -n "$sid" ] || { echo "load: login failed" >&2; exit 1; }
cookie="userName=admin; sessionId=$sid"
save='{"cnt":1,"chnid":[2],"camAnr":0,"prevRecordOn":1,"prevRecordDuration":7,"postRecordOn":1,"postRecordDuration":30,"audioEnable":1,"recordExpDate":0,"recordStreamType":1}'
# One check of each request before the load: the right answers, signed in.
curl -sf "$url/ok" | grep -qx OK || { echo "load: the floor CGI does not answer OK" >&2; exit 1; }
r=$(curl -sf -H "Cookie: $cookie" "$url/webcgi/6044?2")
echo "$r" | grep -q prevRecordDuration || { echo "load: read answered: $r" >&2; exit 1; }
r=$(curl -sf -H "Cookie: $cookie" -H 'Content-Type: application/json' --data-binary "$save" "$url/webcgi/6045")
[ "$(echo "$r" | tr -d ' \r\n')" = '{"resp":0}' ] || { echo "load: save answered: $r" >&2; exit 1; }

# wrk script: the session cookie, an optional JSON body, and a summary line
# with the p99 latency and the error counts.
cat > "$root/run/load.lua" <<LUA
wrk.headers["Cookie"] = "$cookie"
local body = os.getenv("LOAD_BODY")
if body and body ~= "" then
  wrk.method = "POST"
  wrk.body = body
  wrk.headers["Content-Type"] = "application/json"
end
function done(summary, latency, requests)
  local e = summary.errors
  io.write(string.format("RESULT %.1f %.2f %d %d\n", summary.requests / (summary.duration / 1e6),
    latency:percentile(99) / 1000, e.status, e.connect + e.read + e.write + e.timeout))
end
LUA
run() {  # run NAME PATH [BODY] -> "NAME rps p99ms non2xx errors"
  local out
  out=$(LOAD_BODY=${3:-} wrk -t"$threads" -c"$conns" -d"${secs}s" --timeout 10s -s "$root/run/load.lua" "$url$2")
  echo "$1 $(echo "$out" | sed -n 's/^RESULT //p')"
}
res_floor=$(run floor /ok)
res_read=$(run read "/webcgi/6044?2")
res_save=$(run save /webcgi/6045 "$save")
# The save still answers and the store holds the posted value afterwards.
r=$(curl -sf -H "Cookie: $cookie" "$url/webcgi/6044?2")
echo "$r" | grep -q '"prevRecordDuration" *: *7' || echo "load: read after the saves answered: $r" >&2

floor_rps=$(echo "$res_floor" | cut -d' ' -f2)
printf '| request (%s connections, %s s, wrk -t%s) | requests/s | p99 latency | non-2xx | socket errors | ratio to floor | target |\n' "$conns" "$secs" "$threads"
printf '|---|---|---|---|---|---|---|\n'
row() {  # row LABEL RESULT TARGET
  set -- "$1" $2 "$3"
  awk -v l="$1" -v rps="$3" -v p99="$4" -v st="$5" -v er="$6" -v f="$floor_rps" -v t="$7" \
    'BEGIN { printf "| %s | %.0f | %.2f ms | %d | %d | %.2f | %s |\n", l, rps, p99, st, er, rps / f, t }'
}
row 'static C CGI printing "OK" (floor)' "$res_floor" ''
row 'signed-in read "/6044" query "2"' "$res_read" 'at least 0.5, no errors'
row 'signed-in save "/6045" JSON POST' "$res_save" 'at least 0.25, no errors'
