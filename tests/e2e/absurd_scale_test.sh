#!/usr/bin/env bash
# The real program under scale factors no desktop should set, on a private X
# server of 1280 x 1024 pixels:
#   - a factor that is no finite positive number (0, nan, inf, -1, text), in
#     QT_SCALE_FACTOR or in QT_SCREEN_SCALE_FACTORS, is ignored as though it
#     were not set: the main window comes up at the size it has without it;
#   - a factor at which the window would not fit on the screen (1000, 1e10,
#     1e308, Xft.dpi 100000) is brought down to the largest whole one at
#     which it fits, said in one line; one at which it fits stays;
#   - under Xft.dpi 100000 the program takes no more memory than a bare Qt
#     dialog of the main window's size (coilrunner_bare_dialog) takes under
#     the same setting, and a few megabytes: each runs under an address-space
#     limit (prlimit), so that one that grows without end fails here rather
#     than take the machine down. In a sanitized build (third argument 1)
#     the address space is the sanitizer's (it reserves terabytes of it), so
#     the bound there is its own resident-memory limit, and its allocator,
#     which keeps freed memory aside, leaves no peak to compare.
# Every wait has a bound, for a hang only.
#
# Usage: absurd_scale_test.sh <coilrunner> <coilrunner_bare_dialog> [sanitized: 0|1]
set -euo pipefail

game=$(realpath "$1")
bare=$(realpath "$2")
sanitized=${3:-0}
here=$(dirname "$(realpath "$0")")
. "$here/xserver.sh"
need_tools Xvfb xauth xdotool xwininfo xprop import convert prlimit
begin_test game_pid xvfb_pid bare_pid

XVFB_SCREEN=1280x1024x24 start_xserver "$scratch" || fail "no X server"
export QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=1
export XDG_RUNTIME_DIR=$scratch/runtime XDG_CONFIG_HOME=$scratch/config
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$XDG_CONFIG_HOME" "$scratch/play"
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI \
      QT_SCALE_FACTOR_ROUNDING_POLICY QT_ENABLE_HIGHDPI_SCALING QT_USE_PHYSICAL_DPI \
      XDG_CURRENT_DESKTOP DESKTOP_SESSION WAYLAND_DISPLAY

# No process of the test may take more address space than this.
limit=$((4 << 30))
bound=(prlimit --as=$limit)
if [ "$sanitized" = 1 ]; then
  bound=()
  export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}hard_rss_limit_mb=4096"
fi

# set_dpi <dpi|none>: Xft.dpi in the X server's resources, as desktops set it.
set_dpi() {
  xprop -root -remove RESOURCE_MANAGER 2>/dev/null || true
  [ "$1" = none ] || xprop -root -f RESOURCE_MANAGER 8s -set RESOURCE_MANAGER "Xft.dpi:	$1"
}

# start <title> <program> <variable=value...>: starts the program under the
# limit and waits for its visible window with the title; sets pid (the
# program's own: env and prlimit hand their process on to it) and window,
# and fails when the program ends first. The test stops it, or its exit.
start() {
  local title=$1 program=$2
  shift 2
  (cd "$scratch/play" && exec env "$@" "${bound[@]}" "$program") >"$scratch/run.log" 2>&1 &
  pid=$!
  ended() { ! kill -0 "$pid" 2>/dev/null; }
  shown_or_ended() { one_window window "$title" || ended; }
  until_ok 60 shown_or_ended || fail "no window \"$title\" and no end with $*: $(cat "$scratch/run.log")"
  ended && fail "the program ended without a window with $*: $(tail -n 5 "$scratch/run.log")"
  return 0
}
stop() {
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  pid=
}
size_of() { xwininfo -id "$1" | awk '/ Width:/ {w=$2} / Height:/ {h=$2} END {print w "x" h}'; }

# The main window's size without any setting, and the largest whole factor
# at which it fits on the screen.
set_dpi none
start 'Quillware Coilrunner' "$game"
game_pid=$pid
plain=$(size_of "$window")
stop
game_pid=
IFS=x read -r width height <<<"$plain"
fits=$(( (1280 / width) < (1024 / height) ? (1280 / width) : (1024 / height) ))
[ "$fits" -ge 2 ] || fail "the main window is $plain at 1: no room to bring a factor down to"

# Each case: how the scale is set (dpi=N: Xft.dpi), the whole factor the
# window must come up at ("fits": the largest that fits), whether it is
# brought down.
cases=(
  "QT_SCALE_FACTOR=0:1:" "QT_SCALE_FACTOR=nan:1:" "QT_SCALE_FACTOR=inf:1:" "QT_SCALE_FACTOR=-inf:1:"
  "QT_SCALE_FACTOR=-1:1:" "QT_SCALE_FACTOR=abc:1:" "QT_SCALE_FACTOR=:1:"
  "QT_SCREEN_SCALE_FACTORS=0:1:" "QT_SCREEN_SCALE_FACTORS=nan:1:" "QT_SCREEN_SCALE_FACTORS=inf:1:"
  "QT_SCREEN_SCALE_FACTORS=-1:1:" "QT_SCREEN_SCALE_FACTORS=abc:1:" "QT_SCREEN_SCALE_FACTORS=nan;2:2:"
  # Ignored as though not set: the screen's resolution still counts.
  "QT_SCALE_FACTOR=nan,dpi=192:2:" "QT_SCREEN_SCALE_FACTORS=0,dpi=192:2:"
  "QT_SCALE_FACTOR=2:2:"
  "QT_SCALE_FACTOR=1000:fits:down" "QT_SCALE_FACTOR=1e10:fits:down" "QT_SCALE_FACTOR=1e308:fits:down"
  "QT_SCREEN_SCALE_FACTORS=1000:fits:down" "QT_SCREEN_SCALE_FACTORS=inf;1e10:fits:down"
  "dpi=100000:fits:down" "QT_SCALE_FACTOR=1000,dpi=100000:fits:down"
)
for entry in "${cases[@]}"; do
  IFS=: read -r how whole down <<<"$entry"
  [ "$whole" = fits ] && whole=$fits
  dpi=none
  env_of=()
  IFS=, read -ra parts <<<"$how"
  for part in "${parts[@]}"; do
    case $part in
      dpi=*) dpi=${part#dpi=} ;;
      *) env_of+=("$part") ;;
    esac
  done
  set_dpi "$dpi"
  start 'Quillware Coilrunner' "$game" "${env_of[@]}"
  game_pid=$pid
  got=$(size_of "$window")
  stop
  game_pid=
  [ "$got" = "$((width * whole))x$((height * whole))" ] \
    || fail "with $how the main window is $got, not $whole times $plain: $(cat "$scratch/run.log")"
  said=$(grep -c '^coilrunner: at the scale factor .* would not fit on the screen (1280 x 1024); it is shown at '"$whole"'\.$' \
         "$scratch/run.log" || true)
  if [ -n "$down" ]; then
    [ "$said" = 1 ] || fail "with $how the program did not say in one line that it shows the window at $whole: $(cat "$scratch/run.log")"
  else
    [ "$said" = 0 ] || fail "with $how the program says it brought the factor down: $(cat "$scratch/run.log")"
  fi
  echo "$how: the main window at $whole ($got)"
done
set_dpi none

# --- memory under Xft.dpi 100000 -----------------------------------------------

if [ "$sanitized" = 1 ]; then
  passed=1
  echo "PASS: factors that are no number are ignored, ones too large brought down to fit (memory not compared: sanitized build)"
  exit 0
fi

# peak_kb: the high-water mark of the resident memory of $pid so far.
peak_kb() { awk '/^VmHWM:/ {print $2}' "/proc/$pid/status"; }
# The icon's bright green is on the title screen once it is painted.
painted() {
  import -window "$window" "$scratch/title.png" 2>/dev/null \
    && [ "$(convert "$scratch/title.png" -fill black +opaque '#00FF00' -fill white -opaque '#00FF00' -format '%[fx:mean>0]' info:)" = 1 ]
}

set_dpi 100000
start 'Bare dialog' "$bare"
bare_pid=$pid
viewable() { xwininfo -id "$window" 2>/dev/null | grep -q IsViewable; }
until_ok 60 viewable || fail "the bare dialog's window is not shown"
sleep 1   # its first paint: a later peak only makes the bound more generous
bare_kb=$(peak_kb)
stop
bare_pid=

start 'Quillware Coilrunner' "$game"
game_pid=$pid
until_ok 60 painted || fail "the title screen under Xft.dpi 100000 is not painted"
# A game under way draws the field and the snake as well.
xdotool windowfocus --sync "$window" key alt+f g 2>/dev/null || true
sleep 1
painted || true
game_kb=$(peak_kb)
stop
game_pid=
set_dpi none

margin_kb=$((8 << 10))
echo "peak resident memory under Xft.dpi 100000: the game $((game_kb / 1024)) MB, the bare dialog $((bare_kb / 1024)) MB"
[ "$game_kb" -le $((bare_kb + margin_kb)) ] \
  || fail "the game took $game_kb kB, more than the bare dialog's $bare_kb kB and $margin_kb kB"

passed=1
echo "PASS: factors that are no number are ignored, ones too large brought down to fit, memory as a bare dialog's at most"
