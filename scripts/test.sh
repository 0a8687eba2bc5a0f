#!/usr/bin/env bash
# Sets up and runs the whole test suite: a check that every C++ file is as
# .clang-format has it, a plain build, then the same tests
# built with AddressSanitizer and UndefinedBehaviorSanitizer, then a short run
# of every fuzz target (scripts/fuzz.sh). Each build has its own configuration
# file, HTTP port and Redis port, never the machine's.
#
#   scripts/test.sh           the full run that CI makes (installs packages)
#   scripts/test.sh --quick   one plain build and its tests, for the edit-test
#                             loop: no package install, no sanitizer build, no fuzzing
set -euo pipefail
cd "$(dirname "$0")/.."

quick=false
case "${1:-}" in
  "") ;;
  --quick) quick=true ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

$quick || scripts/install-deps.sh
scripts/check-format.sh

http_port=${PAVORA_TEST_HTTP_PORT:-18080}
redis_port=${PAVORA_TEST_REDIS_PORT:-16379}
jobs=$(nproc)

run_suite() {
  local dir=$1 http=$2 redis=$3
  shift 3
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug \
    -DPAVORA_CONFIG_PATH="$PWD/$dir/test-root/config++.conf" \
    -DPAVORA_HTTP_PORT="$http" -DPAVORA_REDIS_PORT="$redis" -DPAVORA_REVERSE_DNS=OFF \
    -DPAVORA_REDIS_TIMEOUT=3 -DPAVORA_LOCK_WAIT=2 -DPAVORA_STOP_GRACE=2 \
    -DPAVORA_LIMIT_SURICATA_TEST=15 -DPAVORA_LIMIT_SURICATASC=15 -DPAVORA_LIMIT_SYSTEMCTL=15 \
    -DPAVORA_LIMIT_SURICATA_UPDATE=15 -DPAVORA_LIMIT_COMMAND=15 \
    -DPAVORA_FEED_STALL=6 -DPAVORA_FEED_TRANSFER=12 -DPAVORA_REFRESH_HOUR_SECONDS=1 \
    -DPAVORA_FEED_ENTRY_MAX=4194304 \
    -DPAVORA_SLOW_THREADS=8 -DPAVORA_SLOW_QUEUE=4 -DPAVORA_SCAN_QUEUE=4 "$@"
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure --timeout 900)
}

run_suite build-test "$http_port" "$redis_port"
$quick && exit 0
run_suite build-asan "$((http_port + 1))" "$((redis_port + 1))" -DPAVORA_SANITIZE=ON
scripts/fuzz.sh
