#!/usr/bin/env bash
# Startup notification on X, as a launcher that honours the menu entry's
# StartupNotify uses it: the launcher starts the program with
# DESKTOP_STARTUP_ID and shows a busy cursor until the program says, by a
# "remove" message on the root window, that it is up. The game must send
# that message for the id it was given once its main window shows.
# Every wait has a deadline; the game, the watcher and the X server are
# stopped on exit.
#
# Usage: startup_test.sh <path to coilrunner> <path to coilrunner_startup_watch>
set -euo pipefail

game=$(realpath "$1")
watch=$(realpath "$2")

here=$(dirname "$(realpath "$0")")
. "$here/xserver.sh"
need_tools Xvfb xauth xdotool xwininfo
begin_test game_pid watch_pid xvfb_pid

start_xserver "$scratch" || fail "no X server"
mkdir -p "$scratch/play"
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY QT_SCALE_FACTOR

"$watch" >"$scratch/messages" 2>"$scratch/watch.log" &
watch_pid=$!
until_ok 30 grep -qsx ready "$scratch/messages" || fail "the watcher did not start: $(cat "$scratch/watch.log")"

# An id as launchers make them: who launched, what, and the time of the click.
id="launcher-$$-coilrunner-0_TIME4242"
(cd "$scratch/play" && DESKTOP_STARTUP_ID=$id exec timeout 120 "$game") >"$scratch/game.log" 2>&1 &
game_pid=$!
until_ok 60 one_window main 'Quillware Coilrunner' || fail "no main window: $(cat "$scratch/game.log")"

until_ok 30 grep -qF "remove: ID=$id" "$scratch/messages" \
  || fail "no remove message for $id; the root window got: $(grep -v '^ready$' "$scratch/messages")"
until_ok 30 xdotool windowfocus --sync "$main" key Escape || fail "could not press Escape"
wait "$game_pid" && rc=0 || rc=$?
game_pid=
[ "$rc" = 0 ] || fail "the game ended with $rc: $(cat "$scratch/game.log")"

passed=1
echo "PASS: started with a startup id, the game ends the launcher's notification once its window shows"
