#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time,
# starting from its corpus. Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-20}
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# The "fuzz" preset: clang, libFuzzer with ASan and UBSan, in build-fuzz/.
cmake --preset fuzz "${launcher[@]}" >/dev/null
cmake --build build-fuzz -j "${JOBS:-$(nproc)}" >/dev/null
status=0
for f in build-fuzz/fuzz/fuzz_*; do
  [ -x "$f" ] || continue
  name=$(basename "$f")
  work=$(mktemp -d)
  corpus=fuzz/corpus/$name
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  # The pulse-stream targets do work in proportion to their input (every
  # frame or sample goes through the stroke computation); a kilobyte holds
  # several strokes and keeps them at thousands of inputs per second.
  options=()
  case "$name" in
    fuzz_devices_vt_frames | fuzz_devices_demo | fuzz_devices_od_lines) options=(-max_len=1024) ;;
  esac
  if "$f" "$work" "${options[@]}" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 >"$work.log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work.log")
    echo "fuzz $name: ${seconds}s, ${runs:-?} inputs, no failure"
  else
    echo "fuzz $name: FAILED"; tail -n 40 "$work.log"; status=1
  fi
  rm -rf "$work" "$work.log"
done
exit $status
