#!/usr/bin/env bash
# Instructions of one parse of a rules file, counted by callgrind: builds
# bench/rules_parse_cost.cpp against a source tree (this one by default, or
# an older checkout for comparison) with the Release build's optimisation,
# and counts the ParsedRules constructor alone. Counts do not move with the
# load of a shared machine, as wall time does.
#
# usage: bench/rules_parse_cost.sh FILE... [-- TREE]   (prints millions of instructions per file)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tree=$(cd "$here/.." && pwd)
files=()
while [ $# -gt 0 ]; do
  case "$1" in
    --) tree=$(cd "$2" && pwd); shift 2 ;;
    *) files+=("$1"); shift ;;
  esac
done
[ ${#files[@]} -gt 0 ] || { echo "usage: $0 FILE... [-- TREE]" >&2; exit 2; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
sources=("$tree/rules/ParsedRules.cpp" "$tree/common/FileCache.cpp")
[ -f "$tree/rules/RuleReader.cpp" ] && sources+=("$tree/rules/RuleReader.cpp")
# shellcheck disable=SC2046
g++ -O3 -DNDEBUG -std=c++17 -I"$tree" $(pkg-config --cflags jsoncpp) \
  "$here/rules_parse_cost.cpp" "${sources[@]}" -pthread -o "$work/rules_parse_cost"

for file in "${files[@]}"; do
  valgrind --tool=callgrind --callgrind-out-file="$work/out" \
    --toggle-collect='ParsedRules::ParsedRules*' "$work/rules_parse_cost" "$file" 1 \
    2>"$work/log" >"$work/result"
  total=$(sed -n 's/.*Collected : \([0-9]*\).*/\1/p' "$work/log")
  printf '%s\t%.1f M\t%s\n' "$(basename "$file")" "$(echo "$total / 1000000" | bc -l)" \
    "$(cat "$work/result")"
done
