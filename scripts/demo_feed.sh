#!/usr/bin/env bash
# Serves a small demo threat feed (a zip holding full.csv) on 127.0.0.1:PORT,
# so that GET /ioc/download/ works on the demo. Usage: demo_feed.sh FOLDER PORT
set -euo pipefail
folder=$1
port=$2
mkdir -p "$folder"

day() { date -u -d "$1 days ago" '+%Y-%m-%d %H:%M:%S'; }
{
  echo '################################################################'
  echo '# Demo indicator feed: first_seen_utc, ioc_id, ioc_value, ioc_type, threat_type,'
  echo '# malware, malware_alias, malware_printable, last_seen_utc, confidence_level,'
  echo '# reference, tags, anonymous, reporter'
  echo '################################################################'
  n=0
  for entry in \
    "203.0.113.7:443|ip:port|botnet_cc|win.demo_rat|DemoRAT" \
    "198.51.100.23:8080|ip:port|botnet_cc|elf.demo_bot|DemoBot" \
    "2001:db8::66:4444|ip:port|botnet_cc|win.demo_loader|DemoLoader" \
    "malware-c2.test|domain|botnet_cc|win.demo_rat|DemoRAT" \
    "phish-login.test|domain|payload_delivery|js.demo_skimmer|DemoSkimmer" \
    "updates.bad-cdn.test|domain|payload_delivery|win.demo_loader|DemoLoader" \
    "http://bad-cdn.test/payload.bin|url|payload_delivery|win.demo_loader|DemoLoader" \
    "https://phish-login.test/account/verify?id=1|url|payload_delivery|js.demo_skimmer|DemoSkimmer"; do
    IFS='|' read -r value type threat malware printable <<<"$entry"
    n=$((n + 1))
    printf '"%s", "%s", "%s", "%s", "%s", "%s", "None", "%s", "", "%s", "None", "demo", "0", "sensor-lab"\n' \
      "$(day $((n % 5)))" "$((900000 + n))" "$value" "$type" "$threat" "$malware" "$printable" "$((50 + n * 5))"
  done
} > "$folder/full.csv"
(cd "$folder" && rm -f full.zip && zip -q full.zip full.csv)

if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  nohup python3 -m http.server "$port" --bind 127.0.0.1 --directory "$folder" \
    >/dev/null 2>&1 &
  echo "Serving the demo threat feed on http://127.0.0.1:$port/full.zip"
fi
