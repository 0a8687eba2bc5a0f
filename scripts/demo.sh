#!/usr/bin/env bash
# Sets up and runs the server on a working demo: installs what is missing,
# builds, starts Redis on 127.0.0.1:6379 if nothing answers there, creates the
# demo data folder, installs the sample configuration at
# /etc/pavora/config++.conf unless a file is already there, loads sample
# events when the event lists are empty, and serves on port 8080.
set -euo pipefail
cd "$(dirname "$0")/.."
repo=$PWD
demo=/var/lib/pavora/demo
config=/etc/pavora/config++.conf

scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DPAVORA_TESTS=OFF
cmake --build build -j"$(nproc)"

if ! redis-cli -h 127.0.0.1 -p 6379 ping >/dev/null 2>&1; then
  echo "Starting redis-server on 127.0.0.1:6379"
  redis-server --bind 127.0.0.1 --port 6379 --daemonize yes --save "" --appendonly no \
    --logfile /var/log/pavora-demo-redis.log
  for _ in $(seq 50); do
    redis-cli -p 6379 ping >/dev/null 2>&1 && break
    sleep 0.1
  done
fi

# Demo data folder: files that already exist are kept, so edits made through
# the API survive a second run.
mkdir -p "$demo/rules" "$demo/ioc"
for file in rules/suricata.rules rules/additional.rules suricata.yaml fast.log; do
  [ -e "$demo/$file" ] || cp "demo/$file" "$demo/$file"
done
touch "$demo/rules/tmp.rules"
if [ ! -e "$demo/GeoLite2-City.mmdb" ] && [ -f tests/support/make_test_mmdb.pl ]; then
  perl tests/support/make_test_mmdb.pl "$demo/GeoLite2-City.mmdb"
fi
if [ -f scripts/demo_feed.sh ]; then
  bash scripts/demo_feed.sh "$demo/feed" 8099
fi

# Suricata's own account, which a sensor has from its package: the server
# hands the generated domain list to it.
if ! id suricata >/dev/null 2>&1; then
  echo "Creating the system account suricata"
  useradd --system --no-create-home --shell /usr/sbin/nologin suricata
fi

if [ ! -e "$config" ]; then
  mkdir -p "$(dirname "$config")"
  cp config/config++.conf.example "$config"
  echo "Installed the sample configuration at $config"
fi

if [ "$(redis-cli -p 6379 llen alert)" = "0" ] && [ "$(redis-cli -p 6379 llen stats)" = "0" ]; then
  echo "Loading sample events into Redis"
  python3 scripts/sample_events.py | redis-cli -p 6379 --pipe >/dev/null
fi

# Every key the routes need should be usable; the check names any that is not.
"$repo/build/pavora_server" --check-config "$config" ||
  echo "The routes that need the keys above will fail until they are fixed."

echo "pavora_server listening on http://127.0.0.1:8080 (try: curl http://127.0.0.1:8080/events/count/alert)"
exec "$repo/build/pavora_server"
