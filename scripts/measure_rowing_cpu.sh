#!/usr/bin/env bash
# CPU share and memory of the windowed program while it rows in real time:
# a simulated measuring interface plays the demo recording at its own pace on
# a pseudo-terminal, the program (started with /R) connects to it, its main
# window and the row window are maximised on a 1920x1080 screen, and
# utime+stime and the resident size are read from /proc over SECONDS.
#
#   scripts/measure_rowing_cpu.sh [SECONDS] [DISPLAY_NUMBER]
#
# Needs Xvfb, openbox and xdotool; uses build/ (BUILD_DIR), or the program
# given in APP (to compare two builds side by side). Prints one line
# per 10 s and a summary. Leaves a screenshot in $OUT (default /tmp).
set -euo pipefail
cd "$(dirname "$0")/.."
SECONDS_TO_MEASURE=${1:-60}
DISP=${2:-18}
BUILD_DIR=${BUILD_DIR:-build}
OUT=${OUT:-/tmp}
APP=${APP:-$PWD/$BUILD_DIR/catchline}
CLI=$PWD/$BUILD_DIR/catchline-cli

work=$(mktemp -d)
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/run
mkdir -p "$HOME/Documents" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
export DISPLAY=:$DISP
if [ ! -S "/tmp/.X11-unix/X$DISP" ]; then
  Xvfb ":$DISP" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
  pids+=($!)
  sleep 1
fi
openbox >/dev/null 2>&1 &
pids+=($!)

# The device: the demo recording, held until the port is opened.
"$CLI" simulate vt --speed 1 --wait-open >"$work/sim.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do grep -q /dev/pts "$work/sim.out" && break; sleep 0.1; done
port=$(grep -o '/dev/pts/[0-9]*' "$work/sim.out" | head -1)
[ -n "$port" ] || { echo "no pseudo-terminal from simulate" >&2; exit 1; }

# The program with a new row window (its dialog accepted as it is).
"$APP" /R >"$work/app.out" 2>&1 &
app=$!
pids+=($app)
for _ in $(seq 100); do xdotool search --pid "$app" --onlyvisible --name "New row window" >/dev/null 2>&1 && break; sleep 0.2; done
sleep 1
xdotool key --clearmodifiers Return
sleep 2
# Connect: the dialog opens with its source selected; the port is typed in,
# tested (which starts the device's recording), the test stopped, and the
# dialog accepted.
xdotool key --clearmodifiers alt+c
for _ in $(seq 50); do xdotool search --pid "$app" --onlyvisible --name "^Connect" >/dev/null 2>&1 && break; sleep 0.2; done
sleep 1
xdotool key --clearmodifiers alt+u ctrl+a
xdotool type "$port"
# The dialog stands in the middle of the 1920x1080 screen: Test (Stop while
# testing) and OK are where they are clicked.
xdotool mousemove 1023 402 click 1
sleep 3
xdotool mousemove 1023 402 click 1
sleep 1
xdotool mousemove 1011 616 click 1
sleep 5
import -window root "$OUT/rowing-start.png"

hz=$(getconf CLK_TCK)
cpu_ticks() { local f; f=$(sed 's/^.*) //' "/proc/$app/stat"); set -- $f; echo $(( ${12} + ${13} )); }
# utime+stime of each thread, one "ticks name" line per thread.
thread_ticks() {
  local t f
  for t in /proc/$app/task/*; do
    f=$(sed 's/^.*) //' "$t/stat"); set -- $f
    echo "$(( ${12} + ${13} )) $(cat "$t/comm")"
  done
}
thread_ticks >"$work/threads0"
rss_kb() { awk '/VmRSS/{print $2}' "/proc/$app/status"; }
t0=$(cpu_ticks); r0=$(rss_kb); s0=$(date +%s.%N); prev=$t0
echo "rowing; resident at start: ${r0} kB"
for ((i = 10; i <= SECONDS_TO_MEASURE; i += 10)); do
  sleep 10
  t=$(cpu_ticks)
  echo "$i s: $(echo "scale=2; 100 * ($t - $prev) / $hz / 10" | bc) % of one core, resident $(rss_kb) kB"
  prev=$t
done
t1=$(cpu_ticks); s1=$(date +%s.%N)
thread_ticks >"$work/threads1"
import -window root "$OUT/rowing-end.png"
echo "by thread (% of one core; threads of the same name added):"
join_threads() {
  # Ticks at the end minus ticks at the start, per thread name.
  awk -v hz="$hz" -v secs="$(echo "$s1 - $s0" | bc)" '
    { t = $1; $1 = ""; name = substr($0, 2) }
    FNR == NR { start[name] += t; next }
    { end[name] += t }
    END { for (n in end) printf "%.2f  %s\n", 100 * (end[n] - start[n]) / hz / secs, n }' "$work/threads0" "$work/threads1" | sort -rn | sed 's/^/  /'
}
join_threads
echo "summary: $(echo "scale=2; 100 * ($t1 - $t0) / $hz / ($s1 - $s0)" | bc) % of one core over $(echo "scale=1; ($s1 - $s0) / 1" | bc) s; resident ${r0} kB at start, $(rss_kb) kB at the end"
