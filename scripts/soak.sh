#!/usr/bin/env bash
# The long soak run: 1,000 whole games (or as many as asked) played headless
# by the autoplayer, every invariant checked after every tick, memory
# compared between game 10 and the last game.
#
# Usage: scripts/soak.sh [GAMES] [SEED] [BUILD_FOLDER]     (default 1000, 1, build)
set -euo pipefail
cd "$(dirname "$0")/.."

games="${1:-1000}"
seed="${2:-1}"
build="${3:-build}"

export QT_QPA_PLATFORM=offscreen
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target coilrunner_soak
"$build/soak/coilrunner_soak" --games "$games" --seed "$seed"
