#!/usr/bin/env bash
# Measures the real program on a virtual X server: launch time and peak
# memory over several starts, taken in turn with a bare Qt dialog with a menu
# bar as the reference, then the program loop with a long snake at timer
# periods of 30, 15 and 3 ms (10 s each).
#
# Usage: bench/measure-loop.sh [BUILD_FOLDER]     (default: build)
# Environment: MEASURE_DISPLAY (default 104), LAUNCH_RUNS (default 30),
#              LOOP_SECONDS (default 10)
# Needs Xvfb (scripts/deps.sh test installs it) and a build with the
# benchmarks (COILRUNNER_BENCH, on when Google Benchmark is installed).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
display=:${MEASURE_DISPLAY:-104}

if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCOILRUNNER_BENCH=ON >/dev/null
fi
cmake --build "$build" --target coilrunner coilrunner_loop coilrunner_launch coilrunner_bare_dialog
build=$(cd "$build" && pwd)

Xvfb "$display" -br -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
scratch=$(mktemp -d)
cleanup() { kill "$xvfb" 2>/dev/null || true; rm -rf "$scratch"; }
trap cleanup EXIT
sleep 1
kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb could not start on $display" >&2; exit 1; }
export DISPLAY=$display
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

echo "== Machine"
lscpu | grep -E '^(Model name|CPU\(s\)):' || true
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
# 30 starts each: on a virtual machine the median of 12 moves by several
# per cent from one round to the next, as much as the margin it is read for.
echo "== Launch (window shown and painted, peak memory; each start idles 1 s), in turn with a bare dialog"
(cd "$scratch" && "$build/bench/coilrunner_launch" "$build/coilrunner" "${LAUNCH_RUNS:-30}" 1000 \
   "$build/bench/coilrunner_bare_dialog")
echo
echo "== Program loop"
(cd "$scratch" && "$build/bench/coilrunner_loop" --seconds "${LOOP_SECONDS:-10}")
