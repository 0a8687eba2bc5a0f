#!/usr/bin/env bash
# Builds the server and the load client in Release (build-bench), starts a
# Redis of its own on the bench port, loads the generated sensor, starts the
# server and prints the table of ratios; then measures the peak resident
# size with every list doubled. Never touches another Redis or server.
#
#   bench/run.sh           the full run (about ten minutes on 2 cores)
#   bench/run.sh --smoke   tiny data, one iteration: checks that it all runs
set -euo pipefail
cd "$(dirname "$0")/.."

smoke=false
if [ "${1:-}" = --smoke ]; then
  smoke=true
elif [ -n "${1:-}" ]; then
  echo "usage: $0 [--smoke]" >&2
  exit 2
fi

build=${PAVORA_BENCH_BUILD:-build-bench}
http_port=${PAVORA_BENCH_HTTP_PORT:-18781}
redis_port=${PAVORA_BENCH_REDIS_PORT:-16981}
root="$PWD/$build/bench-root"

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DPAVORA_TESTS=OFF \
  -DPAVORA_CONFIG_PATH="$root/config++.conf" -DPAVORA_HTTP_PORT="$http_port" \
  -DPAVORA_REDIS_PORT="$redis_port" -DPAVORA_REVERSE_DNS=OFF >/dev/null
cmake --build "$build" -j2 --target pavora_server pavora_bench >/dev/null

mkdir -p "$root"
[ -f "$root/GeoLite2-City.mmdb" ] || perl tests/support/make_test_mmdb.pl "$root/GeoLite2-City.mmdb"
cat >"$root/config++.conf" <<CONF
application:
{
  settings:
  {
    fast_file = "$root/fast.log";
    geo_file = "$root/GeoLite2-City.mmdb";
    country = "Russia";
    city = "Moscow";
    latitude = 55.7558;
    longitude = 37.6173;
    rules_file = "$root/suricata.rules";
    statistical_events = ( "alert", "dns", "http", "tls" );
  };
};
CONF

answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
wait_port() {
  for _ in $(seq 100); do answers "$1" && return 0; sleep 0.1; done
  echo "nothing answers on port $1" >&2; return 1
}

redis_pid=""
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  [ -n "$redis_pid" ] && kill "$redis_pid" 2>/dev/null && wait "$redis_pid" 2>/dev/null
  true
}
trap cleanup EXIT

for port in "$redis_port" "$http_port"; do
  if answers "$port"; then echo "port $port is in use; the bench needs its own" >&2; exit 1; fi
done
redis-server --port "$redis_port" --bind 127.0.0.1 --save "" --appendonly no \
  --dir "$root" >"$root/redis.log" 2>&1 &
redis_pid=$!
wait_port "$redis_port"

load() {
  redis-cli -p "$redis_port" flushall >/dev/null
  python3 bench/generate_data.py "$@" | redis-cli -p "$redis_port" --pipe >/dev/null
}
start_server() {
  if [ -n "$server_pid" ]; then kill "$server_pid"; wait "$server_pid" || true; fi
  "$build/pavora_server" >"$root/server.log" 2>&1 &
  server_pid=$!
  wait_port "$http_port"
}

client=("$build/bench/pavora_bench" --http-port "$http_port" --redis-port "$redis_port")
if $smoke; then
  load --tiny
  start_server
  "${client[@]}" --server-pid "$server_pid" --iterations 1 --seconds 0.2
  exit 0
fi

load
start_server
"${client[@]}" --server-pid "$server_pid" --iterations "${PAVORA_BENCH_ITERATIONS:-5}" --seconds 3
start_server
single=$("${client[@]}" --server-pid "$server_pid" --memory-only | awk '{print $NF}')
load --scale 2
start_server
double=$("${client[@]}" --server-pid "$server_pid" --memory-only | awk '{print $NF}')
echo
echo "| Peak resident size | every list once | every list doubled | growth |"
echo "|---|---|---|---|"
awk -v a="$single" -v b="$double" \
  'BEGIN { printf "| whole-list routes | %d KiB | %d KiB | %.0f %% |\n", a, b, 100 * (b - a) / a }'
