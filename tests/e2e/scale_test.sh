#!/usr/bin/env bash
# The game at the scales laptops default to, on a private X server, set each
# way a desktop sets it: QT_SCALE_FACTOR, QT_SCREEN_SCALE_FACTORS and Xft.dpi.
# The program rounds each factor to the nearest whole number (1.25 to 1; 1.5
# and 1.75 to 2), so that every logical pixel of the field is a square block
# of one size.
#   - coilrunner_theme_driver records every window at each scale: its report
#     (geometry and texts, all whole) and its pictures must be those of the
#     run at the whole factor;
#   - the real program: its window is the whole factor times its size at 1,
#     its title screen (the field's frame with the texts and the icon) the
#     picture at that factor; after Start, screenshots
#     of the window show the grey field at the whole factor times (11, 82)
#     and 234 x 226, made of s x s blocks of one colour each, the food block
#     10 s x 10 s and the snake's band 10 s rows high, s being the factor.
#
# Usage: scale_test.sh <coilrunner> <coilrunner_theme_driver>
set -euo pipefail

game=$(realpath "$1")
driver=$(realpath "$2")
here=$(dirname "$(realpath "$0")")
. "$here/xserver.sh"
need_tools Xvfb xauth xdotool xwininfo xprop import convert compare identify od awk
begin_test game_pid xvfb_pid
on_failure() { [ -n "${DISPLAY:-}" ] && import -window root "$scratch/failure.png" 2>/dev/null; }

# Room for the main window at twice its size and the dialogs beside it.
XVFB_SCREEN=1600x1200x24 start_xserver "$scratch" || fail "no X server"
export QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=1
export XDG_RUNTIME_DIR=$scratch/runtime XDG_CONFIG_HOME=$scratch/config
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$XDG_CONFIG_HOME"
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI \
      QT_SCALE_FACTOR_ROUNDING_POLICY QT_ENABLE_HIGHDPI_SCALING QT_USE_PHYSICAL_DPI \
      XDG_CURRENT_DESKTOP DESKTOP_SESSION GDK_SCALE GDK_DPI_SCALE WAYLAND_DISPLAY

# Each case: a name, how the scale is set, the whole factor it must become.
# "dpi=N" is Xft.dpi in the X server's resources, as desktops set it.
cases=(
  "plain:none:1"
  "factor-2:QT_SCALE_FACTOR=2:2"
  "factor-1:QT_SCALE_FACTOR=1:1"
  "factor-1.25:QT_SCALE_FACTOR=1.25:1"
  "factor-1.5:QT_SCALE_FACTOR=1.5:2"
  "factor-1.75:QT_SCALE_FACTOR=1.75:2"
  "screen-1.25:QT_SCREEN_SCALE_FACTORS=1.25:1"
  "screen-1.5:QT_SCREEN_SCALE_FACTORS=1.5:2"
  "screen-1.75:QT_SCREEN_SCALE_FACTORS=1.75:2"
  "screen-2:QT_SCREEN_SCALE_FACTORS=2:2"
  "dpi-96:dpi=96:1"
  "dpi-120:dpi=120:1"
  "dpi-144:dpi=144:2"
  "dpi-168:dpi=168:2"
  "dpi-192:dpi=192:2"
)
# The references each case is compared with, by whole factor.
reference=([1]=plain [2]=factor-2)

# set_scale <how>: puts Xft.dpi into the X server's resources or takes it
# out, and sets scale_env to the variables the program is to get.
set_scale() {
  scale_env=()
  xprop -root -remove RESOURCE_MANAGER 2>/dev/null || true
  case $1 in
    none) ;;
    dpi=*) xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	${1#dpi=}" ;;
    *) scale_env=("$1") ;;
  esac
}

same_pictures() {
  local picture name differ
  for picture in "$scratch/$1"/*.png; do
    name=$(basename "$picture")
    [ -e "$scratch/$2/$name" ] || fail "\"$2\" has no picture $name"
    differ=$(compare -metric AE "$picture" "$scratch/$2/$name" null: 2>&1) || true
    [ "$differ" = 0 ] || fail "$name at \"$2\" differs from \"$1\" in $differ pixels"
  done
}

# --- every window, through the driver -------------------------------------------
for entry in "${cases[@]}"; do
  IFS=: read -r name how whole <<<"$entry"
  mkdir -p "$scratch/$name" "$scratch/play-$name"
  set_scale "$how"
  (cd "$scratch/play-$name" && exec env "${scale_env[@]}" timeout 300 "$driver" "$scratch/$name") >"$scratch/$name.log" 2>&1 \
    || fail "the windows at \"$name\" are not as they must be: $(cat "$scratch/$name.log")"
  grep -qx "device pixel ratio: $whole" "$scratch/$name.log" \
    || fail "at \"$name\" the windows are not at $whole: $(grep 'pixel ratio' "$scratch/$name.log")"
  ref=${reference[$whole]}
  if [ "$name" != "$ref" ]; then
    diff -u "$scratch/$ref/report.txt" "$scratch/$name/report.txt" >"$scratch/$name.diff" \
      || fail "the windows at \"$name\" differ from \"$ref\": $(cat "$scratch/$name.diff")"
    same_pictures "$ref" "$name"
  fi
done
echo "every window: the same at each scale as at its whole factor, every text whole"

# --- the real program -----------------------------------------------------------

box_up() { [ "$(windows_named 'Quillware Coilrunner' | grep -c .)" -gt 1 ]; }

# shoot <file>: the main window's picture; fails while a box covers it.
shoot() {
  ! box_up && import -window "$main" "$1" 2>/dev/null && ! box_up
}

# field_of <picture> <s>: checks the picture's grey field; prints what it
# found ("x y w h food_w food_h food_n snake_w snake_h") and fails where a
# logical pixel is not an s x s block of one colour.
field_of() {
  local picture=$1 s=$2 width height
  read -r width height < <(identify -format '%w %h\n' "$picture")
  convert "$picture" -depth 8 rgb:- | od -An -v -tu1 -w$((3 * width)) | awk -v s="$s" -v min=$((100 * s)) '
    { y = NR - 1
      for (x = 0; x < NF / 3; ++x) {
        p[x, y] = $(3 * x + 1) "," $(3 * x + 2) "," $(3 * x + 3)
        if (p[x, y] == "128,128,128") { row[y]++; col[x]++ }
      }
      w = NF / 3; h = NR }
    END {
      top = -1; left = -1
      for (y = 0; y < h; ++y) if (row[y] >= min) { if (top < 0) top = y; bottom = y }
      for (x = 0; x < w; ++x) if (col[x] >= min) { if (left < 0) left = x; right = x }
      if (top < 0 || left < 0) { print "no grey field"; exit 1 }
      fx0 = 1e9; fy0 = 1e9; fx1 = -1; fy1 = -1; n = 0
      sx0 = 1e9; sy0 = 1e9; sx1 = -1; sy1 = -1
      for (y = top; y <= bottom; ++y)
        for (x = left; x <= right; ++x) {
          c = p[x, y]
          # Each device pixel is the colour of its block'"'"'s first one.
          bx = left + int((x - left) / s) * s; by = top + int((y - top) / s) * s
          if (c != p[bx, by]) { printf "pixel (%d, %d) breaks its %d x %d block\n", x, y, s, s; exit 1 }
          if (c == "250,250,250") {
            n++; if (x < fx0) fx0 = x; if (x > fx1) fx1 = x; if (y < fy0) fy0 = y; if (y > fy1) fy1 = y
          } else if (c != "128,128,128") {
            if (x < sx0) sx0 = x; if (x > sx1) sx1 = x; if (y < sy0) sy0 = y; if (y > sy1) sy1 = y
          }
        }
      print left, top, right - left + 1, bottom - top + 1, fx1 - fx0 + 1, fy1 - fy0 + 1, n, sx1 - sx0 + 1, sy1 - sy0 + 1
    }' >"$picture.txt"
}

# check_field <picture>: the field of the picture, at the case's factor s:
# fails the test where it is out of place or not in s x s blocks; fails
# (as a command) where the picture shows no field yet.
check_field() {
  field_of "$1" "$s" || { grep -q 'no grey field' "$1.txt" && return 1; fail "at \"$name\": $(cat "$1.txt")"; }
  read -r fx fy fw fh food_w food_h food_n snake_w snake_h <"$1.txt"
  [ "$fx $fy $fw $fh" = "$((11 * s)) $((menu + 82 * s)) $((234 * s)) $((226 * s))" ] \
    || fail "at \"$name\" the field is at ($fx, $fy), ${fw}x$fh; expected $s times (11, 82) and 234x226 below the menu bar"
  if [ "$food_n" -gt 0 ]; then
    [ "$food_w" = $((10 * s)) ] && [ "$food_h" = $((10 * s)) ] && [ "$food_n" = $((100 * s * s)) ] \
      || fail "at \"$name\" the food block is ${food_w}x$food_h ($food_n pixels), not $((10 * s)) square"
  fi
  if [ "$snake_w" -gt 0 ]; then
    # Moving right along its start row: ten rows high, and as long as the
    # ticks so far, s device pixels each.
    [ "$snake_h" = $((10 * s)) ] && [ $((snake_w % s)) = 0 ] \
      || fail "at \"$name\" the snake's band is ${snake_w}x$snake_h, not $((10 * s)) high in steps of $s"
  fi
}

for entry in "${cases[@]}"; do
  IFS=: read -r name how whole <<<"$entry"
  s=$whole
  play=$scratch/game-$name
  mkdir -p "$play"
  # The pointer away from where the window comes up: it would take the focus.
  xdotool mousemove 1590 1190
  set_scale "$how"
  (cd "$play" && exec env "${scale_env[@]}" timeout 300 "$game") >"$scratch/game-$name.log" 2>&1 &
  game_pid=$!
  game_ended() { ! kill -0 "$game_pid" 2>/dev/null; }
  window_or_end() { one_window main 'Quillware Coilrunner' || game_ended; }
  until_ok 60 window_or_end && ! game_ended \
    || fail "no main window at \"$name\": $(cat "$scratch/game-$name.log")"

  read -r width height < <(xwininfo -id "$main" | awk '/ Width:/ {w=$2} / Height:/ {h=$2} END {print w, h}')
  if [ "$name" = plain ]; then
    plain_height=$height
  fi
  [ "$width" = $((258 * s)) ] && [ "$height" = $((plain_height * s)) ] \
    || fail "at \"$name\" the main window is ${width}x$height, not $s times 258x$plain_height"
  menu=$((height - 322 * s))

  # The title screen inside the field's frame (the buttons above it show
  # the keyboard focus, which comes when it comes): the picture at the
  # whole factor, once it is painted.
  title=$scratch/title-$name.png
  title_of() {
    shoot "$1.window.png" \
      && convert "$1.window.png" -crop $((239 * s))x$((238 * s))+$((9 * s))+$((menu + 72 * s)) +repage "$1"
  }
  ref=${reference[$s]}
  if [ "$name" = "$ref" ]; then
    # Painted (the icon's bright green is there) and settled.
    painted() {
      title_of "$title" && title_of "$title.again.png" \
        && compare -metric AE "$title" "$title.again.png" null: >/dev/null 2>&1 \
        && [ "$(convert "$title" -fill black +opaque '#00FF00' -fill white -opaque '#00FF00' -format '%[fx:mean>0]' info:)" = 1 ]
    }
    until_ok 30 painted || fail "the title screen at \"$name\" is not painted"
  else
    as_reference() { title_of "$title" && compare -metric AE "$scratch/title-$ref.png" "$title" null: >/dev/null 2>&1; }
    until_ok 30 as_reference \
      || fail "the title screen at \"$name\" differs from \"$ref\" in $(compare -metric AE "$scratch/title-$ref.png" "$title" null: 2>&1) pixels"
  fi

  # A game, with pictures of the field while the snake moves, as many as
  # come before the game-over box (a picture counts only while no box is
  # up), and one of the field the game leaves when the box is answered.
  xdotool mousemove --window "$main" $((210 * s)) $((menu + 22 * s)) click 1
  shots=0 moving=0
  deadline=$((SECONDS + 120))
  until box_up; do
    [ "$SECONDS" -lt "$deadline" ] || fail "no game-over box at \"$name\""
    shot=$scratch/field-$name-$shots.png
    shoot "$shot" && check_field "$shot" && moving=$((moving + 1))
    shots=$((shots + 1))
  done
  for id in $(windows_named 'Quillware Coilrunner'); do
    [ "$id" != "$main" ] && box=$id
  done
  answer_box() { xdotool windowfocus --sync "$box" key Return; }
  box_gone() { ! xwininfo -id "$box" 2>/dev/null | grep -q IsViewable; }
  repeat_until 60 box_gone answer_box || fail "the game-over box at \"$name\" did not close on Return"
  last=$scratch/field-$name-last.png
  until_ok 30 shoot "$last" || fail "no picture of the main window at \"$name\" after the game"
  check_field "$last" || fail "no field at \"$name\" after the game: $(cat "$last.txt")"
  [ "$snake_w" -gt 0 ] || fail "no snake on the field at \"$name\" after the game"
  kill "$game_pid" 2>/dev/null || true
  wait "$game_pid" 2>/dev/null || true
  game_pid=
  echo "$name: the window at $s x, the field in blocks of $s x $s device pixels ($moving pictures during the game, one after)"
done

passed=1
echo "PASS: at every scale the field shows each logical pixel as one s x s block, s whole"
