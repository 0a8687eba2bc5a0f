#!/bin/sh
# Builds the server in Release with its own port and configuration, makes a
# rules file of 40,000 and of 100,000 rules and a feed of 30,000 lines, runs
# the server on loopback and prints the table of bench/rules_bench.cpp for
# each size. Not run by CI.
#
# usage: bench/rules_bench.sh [BUILD_DIR]   (default: build-bench-rules)
# PAVORA_BENCH_RULES_PORT and PAVORA_BENCH_RULES_REDIS_PORT choose other
# ports when the defaults are taken (no Redis is started or used).
set -eu
SOURCE=$(cd "$(dirname "$0")/.." && pwd)
BUILD=$(mkdir -p "${1:-$SOURCE/build-bench-rules}" && cd "${1:-$SOURCE/build-bench-rules}" && pwd)
ROOT=$BUILD/root
PORT=${PAVORA_BENCH_RULES_PORT:-18791}
REDIS_PORT=${PAVORA_BENCH_RULES_REDIS_PORT:-17091}

cmake -S "$SOURCE" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DPAVORA_TESTS=OFF \
  -DPAVORA_CONFIG_PATH="$ROOT/config++.conf" -DPAVORA_HTTP_PORT=$PORT \
  -DPAVORA_REDIS_PORT=$REDIS_PORT -DPAVORA_REVERSE_DNS=OFF >/dev/null
cmake --build "$BUILD" -j2 --target pavora_server >/dev/null
g++ -O2 -std=c++17 -o "$BUILD/rules_bench" "$SOURCE/bench/rules_bench.cpp" \
  $(pkg-config --cflags --libs simdjson) -pthread

mkdir -p "$ROOT/bin" "$ROOT/out"
# Rule generation gives the domain list to Suricata's user: a stand-in here.
printf '#!/bin/sh\nexit 0\n' >"$ROOT/bin/chown"
chmod +x "$ROOT/bin/chown"
[ -f "$ROOT/rules-40000" ] || python3 "$SOURCE/bench/gen_rules.py" rules "$ROOT/rules-40000" 40000
[ -f "$ROOT/rules-100000" ] || python3 "$SOURCE/bench/gen_rules.py" rules "$ROOT/rules-100000" 100000
python3 "$SOURCE/bench/gen_rules.py" feed "$ROOT/full.csv" 30000

write_config() {
  cat >"$ROOT/config++.conf" <<CONF
application: { settings: {
  rules_file = "$1";
  ioc_full_file_name = "$ROOT/full.csv";
  ioc_local_file_name = "$ROOT/threats.json";
  ioc_domain_rules = "$ROOT/out/ioc_domain.rules";
  ioc_url_rules = "$ROOT/out/ioc_url.rules";
  ioc_ip_rules = "$ROOT/out/ioc_ip.rules";
  ioc_domains_lst = "$ROOT/out/ioc_domains.lst";
}; };
CONF
}

write_config "$ROOT/rules-40000"
PATH="$ROOT/bin:$PATH" "$BUILD/pavora_server" >"$ROOT/server.log" 2>&1 &
SERVER=$!
trap 'kill $SERVER 2>/dev/null || true' EXIT
python3 - "$PORT" <<'PY'
import sys, time, urllib.request
url = "http://127.0.0.1:%s/ioc/filter/30" % sys.argv[1]
for _ in range(100):
    try:
        urllib.request.urlopen(url).read()
        break
    except OSError:
        time.sleep(0.1)
PY
echo "server memory before any rule query: $(grep VmRSS /proc/$SERVER/status)"
echo "store: $(wc -c <"$ROOT/threats.json") bytes, $(grep -c '"uid"' "$ROOT/threats.json") indicators"
for size in 40000 100000; do
  write_config "$ROOT/rules-$size"
  "$BUILD/rules_bench" $PORT "$ROOT/rules-$size" "$ROOT/threats.json" \
    "$size rules ($(wc -c <"$ROOT/rules-$size") bytes)"
  echo
  echo "server memory holding the rules and the store: $(grep VmRSS /proc/$SERVER/status)"
done
