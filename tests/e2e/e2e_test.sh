#!/usr/bin/env bash
# A whole game on a real X server, driven as a player would drive it:
#   start the game in a scratch folder whose HiScores.ini holds 0 at rank 10,
#   click "Start!", find the grey playfield in a screenshot, let the snake run
#   into the right wall, answer the game-over box, type a name, close the
#   list, and compare HiScores.ini byte for byte.
# Every wait has a deadline; the game and the X server are stopped on exit.
#
# Usage: e2e_test.sh <path to coilrunner>
set -euo pipefail

game=$(realpath "$1")

for tool in Xvfb xauth xdotool xwininfo xprop import convert od; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/deps.sh test installs it)"
    exit 77
  fi
done

scratch=$(mktemp -d)
xvfb_pid=
game_pid=
passed=
cleanup() {
  [ -n "$game_pid" ] && kill "$game_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  if [ -n "$passed" ]; then rm -rf "$scratch"; else echo "kept for inspection: $scratch"; fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  [ -n "${DISPLAY:-}" ] && import -window root "$scratch/failure.png" 2>/dev/null || true
  exit 1
}

here=$(dirname "$(realpath "$0")")
. "$here/xserver.sh"

start_xserver "$scratch" || fail "no X server"

# --- the game, in a folder with a prepared high-score table ------------------
# Rank 10 holds 0, so the final score of a snake that eats nothing is admitted.
# Checksum: scores 4500 + letter weights 34 - 90 = 4444.
play=$scratch/play
mkdir -p "$play"
printf '%s' 'Ann~00900~Bea~00800~Cid~00700~Dana~00600~Emil~00500~Finn~00400~Gus~00300~Hal~00200~Ines~00100~Nobody~00000~04444' \
  >"$play/HiScores.ini"

export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY QT_SCALE_FACTOR
(cd "$play" && exec timeout 150 "$game") >"$scratch/game.log" 2>&1 &
game_pid=$!

game_ended() { ! kill -0 "$game_pid" 2>/dev/null; }
window_or_end() { one_window main 'Quillware Coilrunner' || game_ended; }
until_ok 30 window_or_end && ! game_ended \
  || fail "the main window did not appear: $(cat "$scratch/game.log")"

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
# A click that comes before the window takes input is lost; clicking again
# before the first tick only starts the same game again.
started=
for attempt in 1 2 3 4 5; do
  click_start
  if until_ok 3 field_found; then started=1; break; fi
done
[ -n "$started" ] || fail "no grey playfield after Start"
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
until_ok 60 box_up || fail "no game-over box"
box_gone() { ! xwininfo -id "$box" 2>/dev/null | grep -q IsViewable; }
for attempt in 1 2 3 4 5; do
  xdotool windowfocus --sync "$box" key Return 2>/dev/null || true
  until_ok 2 box_gone && break
done
box_gone || fail "the game-over box did not close on Return"

until_ok 15 one_window entry 'New High Score!' || fail "the name dialog did not open for a score of 0 against a 0 at rank 10"
xdotool windowfocus --sync "$entry"
xdotool type --delay 40 'Tessa'
xdotool key Return

until_ok 15 one_window list 'All times greatest' || fail "the high-score list did not open"
xdotool windowfocus --sync "$list" key Return
gone() { [ -z "$(windows_named "$1")" ]; }
until_ok 15 gone 'All times greatest' || fail "the high-score list did not close"

# --- the file: ranks 1 to 9 as read (names padded to 44), then the new entry.
expected_file=$scratch/expected.ini
{
  for entry in Ann:900 Bea:800 Cid:700 Dana:600 Emil:500 Finn:400 Gus:300 Hal:200 Ines:100; do
    printf '%-44s~%05d~' "${entry%%:*}" "${entry##*:}"
  done
  # Scores 4500, letter weights 34 - 0 (Nobody) + 6 (Tessa) = 40, minus 90.
  printf 'Tessa~00000~04450'
} >"$expected_file"
cmp "$play/HiScores.ini" "$expected_file" \
  || fail "HiScores.ini differs: $(od -c "$play/HiScores.ini" | head -20)"
echo "HiScores.ini: $(stat -c %s "$play/HiScores.ini") bytes as expected"

# --- Escape closes the main window and so ends the program -----------------
xdotool windowfocus --sync "$main" key Escape
until_ok 10 game_ended || fail "the program did not end on Escape"
wait "$game_pid" && rc=0 || rc=$?
game_pid=
[ "$rc" = 0 ] || fail "the program ended with $rc: $(cat "$scratch/game.log")"

passed=1
echo "PASS: a game on $DISPLAY from Start to the saved high-score table"
