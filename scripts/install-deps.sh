#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need,
# when any of them is missing. Runs as root, or through sudo.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libmicrohttpd-dev libhiredis-dev libjsoncpp-dev libsimdjson-dev libconfig++-dev
  libcurl4-openssl-dev libzip-dev libssl-dev libmaxminddb-dev
  prometheus-cpp-dev libsystemd-dev
  libgtest-dev googletest
  clang libfuzzer-14-dev clang-format-14
  redis-server redis-tools
  libmaxmind-db-writer-perl zip python3 tzdata procps iproute2 ca-certificates
  chromium
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
