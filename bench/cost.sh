#!/usr/bin/env bash
# Per-request cost: instructions (valgrind callgrind) of one typical
# signed-in request of every registered request name, against zrcore-sim
# and a seeded store, beside an empty static C program. Prints the ten
# heaviest as a table; every row goes to build-bench/cost-all.txt.
#
# The names come from the registry itself (bench_names), so names added
# later are measured too. bench/requests.txt gives a name its typical
# request text; a name without a line gets a POST of {"chnid":0}. Each
# request starts from the same store and session (a snapshot taken after
# the login), so a logout or a deleted user does not change later rows.
#
#   bash bench/cost.sh            # builds build-bench first
#   NVR_BENCH_NO_BUILD=1 bash bench/cost.sh
#   NVR_BENCH_NAMES="/6010 /6024" NVR_BENCH_KEEP=/tmp/cg bash bench/cost.sh
#                                 # only these names; keep the callgrind
#                                 # files (callgrind_annotate /tmp/cg/6010.out)
set -euo pipefail
cd "$(dirname "$0")/.."
b=build-bench
if [ -z "${NVR_BENCH_NO_BUILD:-}" ]; then
  cmake -S . -B "$b" -DCMAKE_BUILD_TYPE=Release -DNVR_BUILD_TESTS=OFF >/dev/null
  cmake --build "$b" -j"$(nproc)" --target webcgi zrcore-sim zrdb empty_static bench_names >/dev/null
fi
limit=${NVR_BENCH_LIMIT:-2000000}
tmp=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -rf "$tmp"' EXIT

instr() {  # instructions of one run of "$@" (stdin passed on)
  valgrind --tool=callgrind --callgrind-out-file="$tmp/cg.out" "$@" 2>"$tmp/vg.err" >"$tmp/reply"
  if [ -n "${NVR_BENCH_KEEP:-}" ] && [ -n "${cg_name:-}" ]; then
    mkdir -p "$NVR_BENCH_KEEP" && cp "$tmp/cg.out" "$NVR_BENCH_KEEP/${cg_name#/}.out"
  fi
  sed -n 's/.*refs: *\([0-9,]*\).*/\1/p' "$tmp/vg.err" | tr -d ,
}

root="$tmp/root"
mkdir -p "$root/dev/shm" "$root/tmp" "$root/bin"
# Programs a handler may run that must not act on this machine.
for p in reboot poweroff shutdown halt killall tcpdump ifconfig ip route udhcpc hwclock ntpdate; do
  printf '#!/bin/sh\nexit 0\n' >"$root/bin/$p"
  chmod +x "$root/bin/$p"
done
export NVR_ROOT="$root" REMOTE_ADDR=127.0.0.1 PATH="$root/bin:$PATH" NVR_IPC_WAIT_MS=${NVR_IPC_WAIT_MS:-300}
"$b/zrdb" seed --admin-password bench --demo >/dev/null
"$b/zrcore-sim" --root "$root" >/dev/null 2>&1 &
sim=$!
for _ in $(seq 1 100); do [ -S "$root/var/run/zrsocket" ] && break; sleep 0.05; done
login="{\"userName\":\"admin\",\"md5\":\"$(printf bench | md5sum | cut -d' ' -f1)\"}"
sid=$(printf '%s' "$login" | REQUEST_METHOD=POST PATH_INFO=/1000 CONTENT_TYPE=application/json \
  CONTENT_LENGTH=${#login} "$b/webcgi" | sed -n 's/.*"sessionId":"\([0-9]*\)".*/\1/p')
[ -n "$sid" ] || { echo "cost: login failed" >&2; exit 1; }
export HTTP_COOKIE="userName=admin; sessionId=$sid"
# The state every request starts from.
(cd "$root" && tar cf "$tmp/state.tar" mnt dev)
restore() { (cd "$root" && rm -rf mnt dev && tar xf "$tmp/state.tar"); }

# run NAME METHOD TEXT [measure]: one request; the reply body in $tmp/body.
run() {
  local name=$1 method=$2 text=$3 n=0
  local -a cmd=("$b/webcgi")
  [ "${4:-}" = measure ] && cmd=(instr "$b/webcgi")
  if [ "$method" = GET ]; then
    REQUEST_METHOD=GET PATH_INFO=$name QUERY_STRING=${text//\"/%22} "${cmd[@]}" </dev/null >"$tmp/out" || true
  else
    printf '%s' "$text" | REQUEST_METHOD=POST PATH_INFO=$name CONTENT_TYPE=application/json \
      CONTENT_LENGTH=${#text} "${cmd[@]}" >"$tmp/out" || true
  fi
  if [ "${4:-}" = measure ]; then n=$(cat "$tmp/out"); cp "$tmp/reply" "$tmp/raw"; else cp "$tmp/out" "$tmp/raw"; fi
  # The body: what follows the header block (a reply without headers is all body).
  perl -0777 -pe 's/\A.*?\r?\n\r?\n//s' "$tmp/raw" >"$tmp/body"
  echo "$n"
}

typical() {  # METHOD TEXT of a name's typical request
  local line
  line=$(awk -v n="$1" '$1 == n { $1 = ""; sub(/^ /, ""); print; exit }' bench/requests.txt)
  [ -n "$line" ] || line='POST {"chnid":0}'
  [[ $line == *' '* ]] || line="$line "  # a GET without text
  echo "$line"
}

commas() { echo "$1" | sed ':a;s/\B[0-9]\{3\}\>/,&/;ta'; }

i_empty=$(instr "$b/bench/empty_static" </dev/null)
: >"$tmp/rows"
for name in ${NVR_BENCH_NAMES:-$("$b/bench/bench_names")}; do
  read -r method text < <(typical "$name")
  if [[ $text =~ @(/[0-9a-z]+) ]]; then  # another name's reply, posted back
    other=${BASH_REMATCH[1]}
    restore
    read -r m2 t2 < <(typical "$other")
    run "$other" "$m2" "$t2" >/dev/null
    text="${text%%"@$other"*}$(cat "$tmp/body")${text#*"@$other"}"
  fi
  restore
  [ -n "${NVR_BENCH_DEBUG:-}" ] && printf "%s %s %.300s\n" "$name" "$method" "$text" >&2
  n=$(cg_name=$name run "$name" "$method" "$text" measure)
  bytes=$(wc -c <"$tmp/body")
  first=$(head -c 40 "$tmp/body" | tr -d '\r\n')
  printf '%s\t%s\t%s\t%s\n' "$n" "$name" "$bytes" "$first" >>"$tmp/rows"
done
sort -t$'\t' -k1,1nr "$tmp/rows" >"$b/cost-all.txt"

over=$(awk -F'\t' -v l="$limit" '$1 > l' "$b/cost-all.txt" | wc -l)
count=$(wc -l <"$b/cost-all.txt")
table() {  # the rows on stdin as a table beside the empty program
  printf '| request | instructions | x empty program | reply bytes |\n|---|---|---|---|\n'
  printf '| empty static C program | %s | 1 | |\n' "$(commas "$i_empty")"
  while IFS=$'\t' read -r n name bytes _; do
    printf '| "%s" | %s | %s | %s |\n' "$name" "$(commas "$n")" \
      "$(awk -v a="$n" -v b="$i_empty" 'BEGIN { printf "%.0f", a / b }')" "$bytes"
  done
}
echo "Ten heaviest requests:"
head -10 "$b/cost-all.txt" | table
echo
# Reads answer settings; setters and errors answer a few bytes.
echo "Ten heaviest reads (replies over 40 bytes):"
awk -F'\t' '$3 > 40' "$b/cost-all.txt" | head -10 | table
reads_over=$(awk -F'\t' -v l="$limit" '$3 > 40 && $1 > l' "$b/cost-all.txt" | wc -l)
echo
echo "$count names measured; $over above $(commas "$limit") instructions, of them $reads_over reads (every row: $b/cost-all.txt)"
