#!/usr/bin/env bash
# The installed menu entry, started as a desktop starts it: through a real
# launcher (gio launch), by a player who is not root, with a home folder of
# their own, on a private X server, from / and from the home folder, with
# XDG_DATA_HOME set and unset. The game must run in the player's data
# folder (the folder the process works in, as /proc shows it), made with
# mode 700; the table earlier starts left in the home folder is copied there
# byte for byte and a new score lands in the copy; a start from a terminal in
# another folder still uses that folder's table; and where the data folder
# cannot be made (a file in its place) the game says so in one message box
# and plays in the folder it was started in.
# Every wait has a deadline; the games and the X server are stopped on exit.
#
# Usage: menu_start_test.sh <build folder> <app id>
set -euo pipefail

build=$1
app_id=$2

here=$(dirname "$(realpath "$0")")
. "$here/xserver.sh"
. "$here/tables.sh"
need_tools gio Xvfb xauth xdotool xwininfo xprop
begin_test game_pid xvfb_pid
on_failure() {
  local log
  for log in "$scratch"/*.log; do echo "== $log"; cat "$log"; done
}

# The player: nobody when the test runs as root (with a home folder made for
# the test), else whoever runs it.
if [ "$(id -u)" = 0 ]; then
  need_tools setpriv
  as_player=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
else
  as_player=()
fi
give() { [ ${#as_player[@]} -eq 0 ] || chown -R nobody:nogroup "$@"; }

chmod 755 "$scratch"
prefix=$scratch/prefix
cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" || fail "cmake --install"
desktop=$prefix/share/applications/$app_id.desktop
program=$prefix/bin/coilrunner

start_xserver "$scratch" || fail "no X server"
home=$scratch/home
runtime=$scratch/runtime
elsewhere=$scratch/elsewhere
mkdir "$home" "$runtime" "$elsewhere"
chmod 700 "$runtime"
cp "$XAUTHORITY" "$runtime/Xauthority"
give "$home" "$runtime" "$elsewhere"

# as_player <folder> <XDG_DATA_HOME or -> <command...>: runs the command in
# the folder as the player, with only what a desktop session hands its
# programs in the environment, and the settings of a sanitized build's run.
as_player() {
  local folder=$1 data_home=$2 name; shift 2
  local environment=(HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$DISPLAY"
                     XAUTHORITY="$runtime/Xauthority" XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=xcb)
  for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
    [ -z "${!name:-}" ] || environment+=("$name=${!name}")
  done
  [ "$data_home" = - ] || environment+=(XDG_DATA_HOME="$data_home")
  (cd "$folder" && exec "${as_player[@]}" env -i "${environment[@]}" "$@")
}

# launch <folder> <XDG_DATA_HOME or -> <log>: the menu entry, through gio,
# which returns once the game is started; the game writes to the same log.
launch() {
  game_log=$scratch/$3.log
  as_player "$1" "$2" timeout 60 gio launch "$desktop" >"$game_log" 2>&1 \
    || fail "gio launch from $1: $(cat "$game_log")"
}

# game_window: sets main and game_pid from the game's only window (the
# program's own process, which the launcher does not wait for).
game_window() {
  one_window main 'Quillware Coilrunner' || return 1
  game_pid=$(xprop -id "$main" _NET_WM_PID | sed -n 's/^_NET_WM_PID(CARDINAL) = //p')
  [ -n "$game_pid" ]
}

runs_in() {  # <folder>: the game's process works in that folder
  local cwd
  cwd=$(readlink "/proc/$game_pid/cwd") || fail "cannot see the game's folder"
  [ "$cwd" = "$1" ] || fail "the game runs in $cwd, not in $1"
}

# end_game: Escape ends the game; it must have said nothing of a sanitizer's.
end_game() {
  game_ended() { ! kill -0 "$game_pid" 2>/dev/null; }
  repeat_until 60 game_ended xdotool windowfocus --sync "$main" key Escape \
    || fail "the game did not end on Escape"
  game_pid=
  if grep -qE '^==[0-9]+==(ERROR|WARNING): |runtime error: ' "$game_log"; then
    fail "the game reports an error: $(cat "$game_log")"
  fi
}

box_up() {
  local id
  for id in $(windows_named 'Quillware Coilrunner'); do
    [ "$id" != "${main:-}" ] && box=$id && return 0
  done
  return 1
}
box_gone() { ! xwininfo -id "$box" 2>/dev/null | grep -q IsViewable; }
answer_box() { xdotool windowfocus --sync "$box" key Return; }
gone() { [ -z "$(windows_named "$1")" ]; }

# play_to_score <name>: a game in which the snake runs into the right wall
# and scores 0, which a table with 0 at rank 10 admits; the name is entered
# and the list closed.
play_to_score() {
  local height menu
  height=$(xwininfo -id "$main" | awk '/ Height:/ {print $2}')
  menu=$((height - 322))   # the client area is 322 px high, below the menu bar
  # "&Start!" covers client (173, 11) to (247, 33); no box is there to hit.
  start_unless_over() { box_up || xdotool mousemove --window "$main" 210 $((menu + 22)) click 1; }
  repeat_until 120 box_up start_unless_over || fail "no game-over box"
  repeat_until 60 box_gone answer_box || fail "the game-over box did not close on Return"
  until_ok 60 one_window entry 'New High Score!' || fail "no name entry for a score of 0 against a 0 at rank 10"
  xdotool windowfocus --sync "$entry"
  xdotool type --delay 40 "$1"
  xdotool key Return
  until_ok 60 one_window list 'All times greatest' || fail "the high-score list did not open"
  xdotool windowfocus --sync "$list" key Return
  until_ok 60 gone 'All times greatest' || fail "the high-score list did not close"
}

# The table earlier starts left in the home folder, and what a game that
# scores 0 for Tessa makes of it.
old_table=$scratch/old.ini
new_table=$scratch/new.ini
table_with_zero_at_rank_10 "$old_table"
table_after_tessa "$new_table"
put_table() { cp "$old_table" "$1"; give "$1"; }
mode_is() { [ "$(stat -c %a "$1")" = "$2" ] || fail "$1 has mode $(stat -c %a "$1"), not $2"; }

data=$home/.local/share/coilrunner
xdg=$home/xdg-data
xdg_data=$xdg/coilrunner

echo "== from /, no XDG_DATA_HOME, nothing there yet"
launch / - slash-default
until_ok 60 game_window || fail "no game window"
runs_in "$data"
for folder in "$home/.local" "$home/.local/share" "$data"; do mode_is "$folder" 700; done
end_game
[ -z "$(ls -A "$data")" ] || fail "the data folder holds $(ls -A "$data") after a start without a game"
[ "$(ls -A "$home")" = .local ] || fail "the home folder holds $(ls -A "$home")"

echo "== from the home folder, XDG_DATA_HOME set, a table in the home folder"
put_table "$home/HiScores.ini"
launch "$home" "$xdg" home-xdg
until_ok 60 game_window || fail "no game window"
runs_in "$xdg_data"
mode_is "$xdg" 700
mode_is "$xdg_data" 700
cmp "$xdg_data/HiScores.ini" "$old_table" || fail "the table was not copied over byte for byte"
play_to_score Tessa
cmp "$xdg_data/HiScores.ini" "$new_table" || fail "the new score did not land in the data folder's table"
end_game
cmp "$home/HiScores.ini" "$old_table" || fail "the home folder's table changed"

echo "== from /, XDG_DATA_HOME set: the data folder's table stays"
launch / "$xdg" slash-xdg
until_ok 60 game_window || fail "no game window"
runs_in "$xdg_data"
end_game
cmp "$xdg_data/HiScores.ini" "$new_table" || fail "the data folder's table was written over"

echo "== from the home folder, no XDG_DATA_HOME: the home folder's table is copied"
launch "$home" - home-default
until_ok 60 game_window || fail "no game window"
runs_in "$data"
end_game
cmp "$data/HiScores.ini" "$old_table" || fail "the table was not copied over byte for byte"

echo "== from a terminal in another folder: that folder's table"
put_table "$elsewhere/HiScores.ini"
game_log=$scratch/terminal.log
as_player "$elsewhere" - timeout 300 "$program" >"$game_log" 2>&1 &
until_ok 60 game_window || fail "no game window"
runs_in "$elsewhere"
play_to_score Tessa
cmp "$elsewhere/HiScores.ini" "$new_table" || fail "the new score did not land in the folder of the start"
end_game
cmp "$data/HiScores.ini" "$old_table" || fail "the data folder's table changed"

echo "== a file in the place of the data folder: one message, and a game in the home folder"
blocked=$home/blocked
: >"$blocked"
give "$blocked"
main=
launch "$home" "$blocked" blocked
message="coilrunner: The high scores cannot be kept in the data folder \"$blocked/coilrunner\": Not a directory. This time they are kept in \"HiScores.ini\" in \"$home\", the folder the game was started from."
until_ok 60 grep -qxF "$message" "$scratch/blocked.log" || fail "no message on standard error"
# The box comes before the main window.
until_ok 60 box_up || fail "no message box"
game_pid=$(xprop -id "$box" _NET_WM_PID | sed -n 's/^_NET_WM_PID(CARDINAL) = //p')
runs_in "$home"
repeat_until 60 box_gone answer_box || fail "the message box did not close on Return"
until_ok 60 game_window || fail "no game window after the message"
runs_in "$home"
play_to_score Tessa
cmp "$home/HiScores.ini" "$new_table" || fail "the new score did not land in the home folder's table"
end_game
[ "$(grep -c '^coilrunner: ' "$scratch/blocked.log")" = 1 ] || fail "more than one message: $(cat "$scratch/blocked.log")"

passed=1
echo "PASS: started from its menu entry through gio launch, the game runs in the data folder, with the home folder's table copied over; a terminal start and a blocked data folder keep the folder of the start"
