#!/usr/bin/env bash
# A whole game on a real X server, driven as a player would drive it:
#   start the game in a scratch folder whose HiScores.ini holds 0 at rank 10,
#   click "Start!", find the grey playfield in a screenshot, let the snake run
#   into the right wall, answer the game-over box, type a name, close the
#   list, and compare HiScores.ini byte for byte; open the settings from the
#   menu and the About box from the window menu (a right click), closing each
#   with Return; then Return in the score box ends the program through OK.
#   Every window's title, as the X server holds it, is its caption alone;
#   every box is transient for the main window; no window offers maximise.
# Every wait has a deadline; the game and the X server are stopped on exit.
#
# Usage: e2e_test.sh <path to coilrunner>
set -euo pipefail

game=$(realpath "$1")

here=$(dirname "$(realpath "$0")")
. "$here/xserver.sh"
. "$here/tables.sh"
need_tools Xvfb xauth xdotool xwininfo xprop import convert od
begin_test game_pid xvfb_pid
on_failure() { [ -n "${DISPLAY:-}" ] && import -window root "$scratch/failure.png" 2>/dev/null; }

start_xserver "$scratch" || fail "no X server"

# --- the game, in a folder with a prepared high-score table ------------------
# Rank 10 holds 0, so the final score of a snake that eats nothing is admitted.
play=$scratch/play
mkdir -p "$play"
table_with_zero_at_rank_10 "$play/HiScores.ini"

export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY QT_SCALE_FACTOR
(cd "$play" && exec timeout 600 "$game") >"$scratch/game.log" 2>&1 &
game_pid=$!

game_ended() { ! kill -0 "$game_pid" 2>/dev/null; }
window_or_end() { one_window main 'Quillware Coilrunner' || game_ended; }
until_ok 60 window_or_end && ! game_ended \
  || fail "the main window did not appear: $(cat "$scratch/game.log")"

# check_window <id> <title>: the title the X server holds is exactly the
# caption (Qt appends the application's name unless told otherwise); a box is
# transient for the main window, so the desktop keeps it over that window; and
# the window offers no maximise: its minimum and maximum sizes are the same,
# and its Motif hints leave out the maximise function and button.
check_window() {
  local id=$1 title=$2 props hints flags functions decorations
  props=$(xprop -id "$id" _NET_WM_NAME WM_NAME WM_TRANSIENT_FOR _MOTIF_WM_HINTS WM_NORMAL_HINTS) \
    || fail "cannot read the properties of \"$title\""
  grep -qxF "_NET_WM_NAME(UTF8_STRING) = \"$title\"" <<<"$props" \
    && grep -qxF "WM_NAME(STRING) = \"$title\"" <<<"$props" \
    || fail "the window \"$title\" reaches the X server as: $(grep NAME <<<"$props")"
  if [ "$id" != "$main" ]; then
    grep -qx "WM_TRANSIENT_FOR(WINDOW): window id # $(printf '0x%x' "$main")" <<<"$props" \
      || fail "\"$title\" is not transient for the main window: $(grep TRANSIENT <<<"$props")"
  fi
  hints=$(sed -n 's/^_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = //p' <<<"$props")
  IFS=', ' read -r flags functions decorations _ <<<"$hints"
  # The functions the desktop may offer (flag 1) must be listed without
  # maximise (0x10; bit 1 would mean "all but those listed"); buttons, where
  # listed (flag 2), without the maximise button (0x40).
  [ -n "$functions" ] && (( (flags & 1) && !(functions & 0x11) && (!(flags & 2) || !(decorations & 0x41)) )) \
    || fail "\"$title\" may offer maximise: Motif hints ${hints:-none}"
  local min max
  min=$(sed -n 's/^\t*program specified minimum size: //p' <<<"$props")
  max=$(sed -n 's/^\t*program specified maximum size: //p' <<<"$props")
  [ -n "$min" ] && [ "$min" = "$max" ] \
    || fail "\"$title\" may be resized: minimum ${min:-none}, maximum ${max:-none}"
}
check_window "$main" 'Quillware Coilrunner'

# On X11 the desktop matches the window to its .desktop file by the window
# class, which the file names as StartupWMClass.
desktop_file=$here/../../packaging/net.quillware.Coilrunner.desktop
wm_class=$(sed -n 's/^StartupWMClass=//p' "$desktop_file")
xprop -id "$main" WM_CLASS | grep -q ", \"$wm_class\"\$" \
  || fail "window class $(xprop -id "$main" WM_CLASS) does not match StartupWMClass=$wm_class"

# The client area is 258 x 322 px (172 x 198 dialog units) below the menu bar.
read -r width height < <(xwininfo -id "$main" | awk '/ Width:/ {w=$2} / Height:/ {h=$2} END {print w, h}')
menu=$((height - 322))
[ "$width" = 258 ] && [ "$menu" -ge 0 ] && [ "$menu" -lt 80 ] \
  || fail "the main window is ${width}x${height}, not 258 wide with a 322 px client area"

# "&Start!" covers client (173, 11) to (247, 33).
click_start() { xdotool mousemove --window "$main" 210 $((menu + 22)) click 1; }

# --- the playfield in a screenshot ---------------------------------------
# The grey field: rows and columns of the window with many 0x808080 pixels
# (anti-aliased text has a few; the snake and the food block interrupt the
# field's rows and columns but leave most of them grey).
field_found() {
  import -window "$main" "$scratch/field.png" 2>/dev/null || return 1
  convert "$scratch/field.png" -fill black +opaque '#808080' -fill white -opaque '#808080' \
    -depth 8 gray:- | od -An -v -tu1 -w"$width" | awk -v min=100 '
      { for (x = 1; x <= NF; ++x) if ($x == 255) { row[NR-1]++; col[x-1]++ } }
      END {
        top = -1
        for (y = 0; y < NR; ++y) if (row[y] >= min) { if (top < 0) top = y; bottom = y }
        left = -1
        for (x = 0; x < NF; ++x) if (col[x] >= min) { if (left < 0) left = x; right = x }
        if (top < 0 || left < 0) exit 1
        print left, top, right - left + 1, bottom - top + 1
      }' >"$scratch/field.txt"
}
# Clicking again before the first tick only starts the same game again.
repeat_until 90 field_found click_start || fail "no grey playfield after Start"
read -r fx fy fw fh <"$scratch/field.txt"
expected="11 $((menu + 82)) 234 226"
[ "$fx $fy $fw $fh" = "$expected" ] \
  || fail "grey field at window ($fx, $fy) size ${fw}x${fh}; expected client (11, 82) 234x226 (window: $expected)"
echo "playfield: 234 x 226 px at client (11, 82)"

# --- the snake runs into the right wall: about 114 ticks of 30 ms ----------
box_up() {
  local id
  for id in $(windows_named 'Quillware Coilrunner'); do
    [ "$id" != "$main" ] && box=$id && return 0
  done
  return 1
}
until_ok 120 box_up || fail "no game-over box"
check_window "$box" 'Quillware Coilrunner'
box_gone() { ! xwininfo -id "$box" 2>/dev/null | grep -q IsViewable; }
answer_box() { xdotool windowfocus --sync "$box" key Return; }
repeat_until 60 box_gone answer_box || fail "the game-over box did not close on Return"

until_ok 60 one_window entry 'New High Score!' || fail "the name dialog did not open for a score of 0 against a 0 at rank 10"
check_window "$entry" 'New High Score!'
xdotool windowfocus --sync "$entry"
xdotool type --delay 40 'Tessa'
xdotool key Return

until_ok 60 one_window list 'All times greatest' || fail "the high-score list did not open"
check_window "$list" 'All times greatest'
xdotool windowfocus --sync "$list" key Return
gone() { [ -z "$(windows_named "$1")" ]; }
until_ok 60 gone 'All times greatest' || fail "the high-score list did not close"

# --- the file: ranks 1 to 9 as read (names padded to 44), then the new entry.
expected_file=$scratch/expected.ini
table_after_tessa "$expected_file"
cmp "$play/HiScores.ini" "$expected_file" \
  || fail "HiScores.ini differs: $(od -c "$play/HiScores.ini" | head -20)"
echo "HiScores.ini: $(stat -c %s "$play/HiScores.ini") bytes as expected"

# --- the settings from the menu, closed by Return (OK is the default) -------
# Qt takes the keys in order: the File menu is open when "s" comes.
xdotool windowfocus --sync "$main" key alt+f s
until_ok 60 one_window settings 'Settings' || fail "File > Settings did not open the settings"
check_window "$settings" 'Settings'
xdotool windowfocus --sync "$settings" key Return
until_ok 60 gone 'Settings' || fail "the settings did not close on Return"

# --- the window menu opens on a right click; its last item is the About box --
xdotool mousemove --window "$main" 128 $((menu + 200)) click 3
xdotool key o
until_ok 60 one_window about 'Info about Quillware Coilrunner' \
  || fail "a right click and \"Inf&o about Coilrunner...\" did not open the About box"
check_window "$about" 'Info about Quillware Coilrunner'
xdotool windowfocus --sync "$about" key Return
until_ok 60 gone 'Info about Quillware Coilrunner' || fail "the About box did not close on Return"

# --- Return in the score box ends the program through OK ---------------------
# The box covers client (206, 54) to (247, 73). Text that is not a whole
# number first brings the message, and the program goes on.
xdotool mousemove --window "$main" 226 $((menu + 63)) click 1
xdotool key ctrl+a type x
xdotool key Return
until_ok 60 box_up || fail "no message for a score box holding x"
check_window "$box" 'Quillware Coilrunner'
repeat_until 60 box_gone answer_box || fail "the message box did not close on Return"
game_ended && fail "the program ended with x in the score box"
# The box has the focus back with its text selected: a digit replaces it.
xdotool windowfocus --sync "$main" type 5
xdotool key Return
until_ok 60 game_ended || fail "the program did not end on Return in the score box"
wait "$game_pid" && rc=0 || rc=$?
game_pid=
[ "$rc" = 0 ] || fail "the program ended with $rc: $(cat "$scratch/game.log")"
cmp -s "$play/HiScores.ini" "$expected_file" || fail "HiScores.ini changed after the game"

passed=1
echo "PASS: a game on $DISPLAY from Start to the saved high-score table, the dialogs, and Return"
