#!/usr/bin/env bash
# Sets up and runs the whole test suite: a plain build, then the same tests
# built with AddressSanitizer and UndefinedBehaviorSanitizer, then a short run
# of every fuzz target (scripts/fuzz.sh). Each build has its own configuration
# file, HTTP port and Redis port, never the machine's.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

http_port=${PAVORA_TEST_HTTP_PORT:-18080}
redis_port=${PAVORA_TEST_REDIS_PORT:-16379}
jobs=$(nproc)

run_suite() {
  local dir=$1 http=$2 redis=$3
  shift 3
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug \
    -DPAVORA_CONFIG_PATH="$PWD/$dir/test-root/config++.conf" \
    -DPAVORA_HTTP_PORT="$http" -DPAVORA_REDIS_PORT="$redis" -DPAVORA_REVERSE_DNS=OFF \
    -DPAVORA_REDIS_TIMEOUT=3 "$@"
  cmake --build "$dir" -j"$jobs"
  (cd "$dir" && ctest --output-on-failure --timeout 900)
}

run_suite build-test "$http_port" "$redis_port"
run_suite build-asan "$((http_port + 1))" "$((redis_port + 1))" -DPAVORA_SANITIZE=ON
scripts/fuzz.sh
