#!/usr/bin/env bash
# Fails when a C++ file of the repository differs from what clang-format 14
# makes of it with the repository's .clang-format; lists those files.
#   scripts/check-format.sh          check every tracked .cpp and .h file
#   scripts/check-format.sh --fix    rewrite them in place instead
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format-14
command -v "$format" >/dev/null || { echo "$format not found (scripts/install-deps.sh installs it)" >&2; exit 1; }

mapfile -t files < <(git ls-files '*.cpp' '*.h')
if [ "${1:-}" = "--fix" ]; then
  "$format" -i "${files[@]}"
  exit 0
fi
differ=()
for file in "${files[@]}"; do
  "$format" --dry-run --Werror "$file" >/dev/null 2>&1 || differ+=("$file")
done
if [ ${#differ[@]} -ne 0 ]; then
  echo "These files differ from .clang-format (fix with scripts/check-format.sh --fix):" >&2
  printf '  %s\n' "${differ[@]}" >&2
  exit 1
fi
echo "format: ${#files[@]} files as .clang-format has them"
