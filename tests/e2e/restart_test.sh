#!/usr/bin/env bash
# The game started again and again on an X server that starts over each time
# its last client leaves (Xvfb's default, as under xvfb-run): every start
# comes right after the previous game ended, when the server may be starting
# over, and must open the main window all the same. Each game is ended with
# Escape, and must exit with 0.
# Every wait has a deadline; the game and the X server are stopped on exit.
#
# Usage: restart_test.sh <path to coilrunner> [starts]   (default 25)
set -euo pipefail

game=$(realpath "$1")
starts=${2:-25}

here=$(dirname "$(realpath "$0")")
. "$here/xserver.sh"
need_tools Xvfb xauth xdotool xwininfo
begin_test game_pid xvfb_pid

start_xserver "$scratch" resets || fail "no X server"

mkdir -p "$scratch/play"
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY QT_SCALE_FACTOR

game_ended() { ! kill -0 "$game_pid" 2>/dev/null; }
window_or_end() { one_window main 'Quillware Coilrunner' || game_ended; }

for run in $(seq 1 "$starts"); do
  (cd "$scratch/play" && exec timeout 120 "$game") >"$scratch/game.log" 2>&1 &
  game_pid=$!
  until_ok 60 window_or_end || fail "start $run: no main window and no end"
  game_ended && fail "start $run: the game ended before its window showed: $(cat "$scratch/game.log")"
  # The game holds its connection now: the server does not start over while
  # this client comes and goes.
  until_ok 30 xdotool windowfocus --sync "$main" key Escape || fail "start $run: could not press Escape"
  # Straight on to the next start once this game has gone (each game runs
  # under timeout, which bounds this wait).
  wait "$game_pid" && rc=0 || rc=$?
  game_pid=
  [ "$rc" = 0 ] || fail "start $run ended with $rc (not by Escape): $(cat "$scratch/game.log")"
done

passed=1
echo "PASS: $starts starts in a row on an X server that starts over when its last client leaves"
