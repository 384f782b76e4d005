#!/usr/bin/env bash
# Builds the high-score loader's fuzz target with clang (libFuzzer,
# AddressSanitizer, UndefinedBehaviorSanitizer), writes the seed corpus with
# the game's writer and fuzzes for the given number of seconds.
# Any crash, sanitizer report, timeout or memory blow-up fails the script.
#
# Usage: scripts/fuzz.sh [SECONDS] [BUILD_FOLDER]     (default 30 s, build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-30}"
build="${2:-build-fuzz}"

cmake -S fuzz -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build"

seeds="$build/seeds"
corpus="$build/corpus"
artifacts="$build/artifacts"
rm -rf "$seeds"
mkdir -p "$seeds" "$corpus" "$artifacts"
"$build/make_seeds" "$seeds"

export ASAN_OPTIONS="halt_on_error=1:abort_on_error=1:detect_leaks=1${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1${UBSAN_OPTIONS:+:$UBSAN_OPTIONS}"

# New inputs go to the corpus folder; the seeds are read only. A run longer
# than a second on one input, or more than 2 GB, counts as a failure.
"$build/highscore_fuzzer" "$corpus" "$seeds" \
  -max_total_time="$seconds" -max_len=4096 -timeout=1 -rss_limit_mb=2048 \
  -artifact_prefix="$artifacts/" -print_final_stats=1
