#!/usr/bin/env bash
# Builds the CGI program and starts the local demo: lighttpd on 127.0.0.1
# serves the web console (web/) at "/" and runs webcgi for every URL under
# /cgi-bin/webcgi/ (PATH_INFO is the request name), zrcore-sim listens on the core socket, and everything lives inside
# the sandbox folder demo-root/ (NVR_ROOT). Ctrl-C stops it.
#   DEMO_PORT=8080 bash deploy/demo.sh        (default port 8080)
#   DEMO_DETACH=1 bash deploy/demo.sh         (start in the background)
set -euo pipefail
cd "$(dirname "$0")/.."
top=$(pwd)
bash deploy/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target webcgi zrcore-sim zrdb

port=${DEMO_PORT:-8080}
root="$top/demo-root"
pidfile="$root/run/demo.pids"
if [ -f "$pidfile" ]; then
  while read -r pid; do kill "$pid" 2>/dev/null || true; done < "$pidfile"
  rm -f "$pidfile"
fi
mkdir -p "$root"/{www/cgi-bin,run,tmp,var/run,mnt/nand/app,mnt/nand2,dev/shm,opt/app/www/webfile/json,opt/app/trans}
cp deploy/trans/*.txt "$root/opt/app/trans/"
# Stand-ins for the programs a real run would reach beyond the sandbox
# (killall would end the machine's own processes): they record their
# arguments in run/calls-<name>; the tcpdump one leaves an empty capture
# file where it was told to write, so the capture download has a file.
mkdir -p "$root"/{bin,mnt/sda1}
for prog in killall tcpdump; do
  printf '#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s/run/calls-%s"\n' "$root" "$prog" > "$root/bin/$prog"
done
cat >> "$root/bin/tcpdump" <<'STUB'
while [ $# -gt 1 ]; do [ "$1" = "-w" ] && : > "${2}0"; shift; done
STUB
printf '#!/bin/sh\nprintf "%%s\\n" "$*" >> "%s/run/calls-webmonitor"\n' "$root" > "$root/www/webmonitor"
chmod 755 "$root/bin/killall" "$root/bin/tcpdump" "$root/www/webmonitor"
cp build/webcgi "$root/www/cgi-bin/webcgi"
# Stand-ins for the recorder's own programs (the files in tools/ without an
# extension), first on the PATH of webcgi; they record their arguments in
# demo-root/calls/.
for tool in tools/*; do
  case "$tool" in *.*) ;; *) if [ -f "$tool" ] && [ -x "$tool" ]; then cp "$tool" "$root/bin/"; fi ;; esac
done
# The profile tool stand-in backs up and restores the store with zrdb.
cp build/zrdb "$root/bin/zrdb"
# The web console at "/": its files beside the CGI program.
cp -R web/. "$root/www/"

admin_pw=${DEMO_ADMIN_PASSWORD:-admin123}
if [ ! -f "$root/mnt/nand/app/zrdb.db" ]; then
  NVR_ROOT="$root" build/zrdb seed --admin-password "$admin_pw" --demo
fi

bash deploy/lighttpd-conf.sh "$root" "$port" > "$root/run/lighttpd.conf"

build/zrcore-sim --root "$root" --journal "$root/run/zrcore-journal.txt" >"$root/run/zrcore-sim.log" 2>&1 &
sim=$!
echo "$sim" > "$pidfile"
lighttpd -t -f "$root/run/lighttpd.conf" >/dev/null
echo "demo: console at http://127.0.0.1:$port/"
echo "demo: requests at http://127.0.0.1:$port/cgi-bin/webcgi/<request name>   (NVR_ROOT=$root)"
echo "demo: core daemon stand-in pid $sim, journal $root/run/zrcore-journal.txt"
echo "demo: administrator 'admin', password '$admin_pw'"
if [ "${DEMO_DETACH:-0}" = "1" ]; then
  lighttpd -f "$root/run/lighttpd.conf" >/dev/null 2>&1 </dev/null
  sleep 0.3
  cat "$root/run/lighttpd.pid" >> "$pidfile"
  echo "demo: running in the background; stop with: kill \$(cat $pidfile)"
else
  trap 'kill $sim 2>/dev/null; rm -f "$pidfile"' EXIT
  lighttpd -D -f "$root/run/lighttpd.conf"
fi
