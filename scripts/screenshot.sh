#!/usr/bin/env bash
# Makes the README's picture of a game in play: starts the game on a private
# X server, steers the snake to the first food block and round a corner, and
# saves the window as docs/screenshot.png. The food positions are the same in
# every run, so the picture comes out alike each time; the exact length of
# each stretch depends on timing.
#
# Usage: scripts/screenshot.sh [program] [output]   (default: build/coilrunner)
# Needs xvfb, xauth, xdotool and imagemagick (scripts/deps.sh test).
set -euo pipefail
cd "$(dirname "$0")/.."

game=$(realpath "${1:-build/coilrunner}")
out=${2:-docs/screenshot.png}
[ -x "$game" ] || { echo "no program at $game: build it first (./run.sh or cmake --build build)" >&2; exit 1; }

scratch=$(mktemp -d)
xvfb_pid=
game_pid=
cleanup() {
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$scratch"
}
trap cleanup EXIT

. tests/e2e/xserver.sh
start_xserver "$scratch"

# A scratch folder: no high-score file is read or written where it runs.
mkdir -p "$scratch/play" "$scratch/runtime"
chmod 700 "$scratch/runtime"
export XDG_RUNTIME_DIR=$scratch/runtime QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY QT_SCALE_FACTOR
(cd "$scratch/play" && exec timeout 60 "$game") >"$scratch/game.log" 2>&1 &
game_pid=$!

until_ok 30 one_window main 'Quillware Coilrunner' || { echo "the game window did not appear" >&2; exit 1; }
height=$(xwininfo -id "$main" | awk '/ Height:/ {print $2}')
menu=$((height - 322))   # the client area is 322 px high, below the menu bar

# Start, then steer with the keys: up, left along the row of the first food
# block (eaten after some three seconds), then down.
xdotool windowfocus --sync "$main"
xdotool mousemove --window "$main" 210 $((menu + 22)) click 1
sleep 0.6;  xdotool key q
sleep 0.75; xdotool key n
sleep 3.6;  xdotool key a
sleep 0.7
# Out of the way of the picture: the pointer over no button.
xdotool mousemove 790 590

mkdir -p "$(dirname "$out")"
import -window "$main" "$out"
echo "wrote $out ($(identify -format '%wx%h' "$out"))"
