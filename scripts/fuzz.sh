#!/usr/bin/env bash
# Builds the libFuzzer targets of fuzz/ with clang into build-fuzz/ and runs
# each for a fixed time (PAVORA_FUZZ_SECONDS, default 40), two at a time
# (PAVORA_FUZZ_JOBS). Fails when any target finds a crash, a leak or a
# timeout; the input that did it is left in build-fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

# Local times read back unambiguously only in a zone without summer time.
export TZ=UTC
export build=build-fuzz
export seconds=${PAVORA_FUZZ_SECONDS:-40}
jobs=${PAVORA_FUZZ_JOBS:-2}

cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPAVORA_FUZZ=ON -DPAVORA_TESTS=OFF
cmake --build "$build" -j"$(nproc)"

# Runs one target on a scratch copy of its corpus, so the run never writes
# into the repository; saved regressions are read as seeds too.
run_target() {
  local name=$1
  local work="$build/fuzz-work/$name" findings="$build/findings/$name"
  local log="$build/fuzz-work/$name.log"
  rm -rf "$work" "$findings"
  mkdir -p "$work" "$findings"
  local seeds=(fuzz/corpus/"$name")
  [ -d fuzz/regressions/"$name" ] && seeds+=(fuzz/regressions/"$name")
  if "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/" "$work" "${seeds[@]}" >"$log" 2>&1; then
    echo "fuzz_$name: $(grep -m1 'DONE' "$log" || echo 'done')"
  else
    echo "fuzz_$name: FAILED; log $log, input in $findings/"
    tail -n 40 "$log"
    return 1
  fi
}
export -f run_target

started=$(date +%s)
ls fuzz/*_fuzz.cpp | sed 's|^fuzz/||; s|_fuzz\.cpp$||' |
  xargs -P "$jobs" -I{} bash -c 'run_target "$1"' _ {}
echo "fuzzing took $(($(date +%s) - started)) s"
