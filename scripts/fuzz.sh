#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time,
# starting from its corpus. Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCATCHLINE_FUZZ=ON -DCATCHLINE_GUI=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)" >/dev/null
status=0
for f in build-fuzz/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  work=$(mktemp -d)
  corpus=fuzz/corpus/$name
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  if "$f" "$work" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=0 >"$work.log" 2>&1; then
    echo "fuzz $name: ${seconds}s, no failure"
  else
    echo "fuzz $name: FAILED"; tail -n 40 "$work.log"; status=1
  fi
  rm -rf "$work" "$work.log"
done
exit $status
