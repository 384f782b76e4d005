#!/usr/bin/env bash
# The program against displays that take the connection and then never
# answer (a stopped X server, sockets made by the test that say nothing) or
# answer with bytes that are no protocol of theirs:
#   - with no other display, it ends with exit status 1 and one line that
#     says why (naming the display that did not answer in time), within a
#     few seconds, rather than wait for ever without a window or a word;
#   - with a Wayland compositor that does not answer and an X server that
#     does, it shows its main window on X, and the browser it starts sees
#     the desktop's environment, not what the program told Qt.
# The 60 s bound on each start only tells a hang: the verdicts are the exit
# status and the lines, not the time taken.
#
# Usage: silent_display_test.sh <path to coilrunner>
set -euo pipefail

game=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
. "$here/xserver.sh"
need_tools Xvfb xauth xdotool xwininfo python3
begin_test game_pid xvfb_pid fake_pid stopped_pid
# A stopped X server would take no signal to end but SIGCONT.
on_failure() {
  [ -n "${stopped_pid:-}" ] && kill -CONT "$stopped_pid" 2>/dev/null
  [ -n "${fake_pid:-}" ] && cat "$scratch/fake.err" 2>/dev/null
  true
}

start_xserver "$scratch" || fail "no X server"
live=$DISPLAY
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY WAYLAND_SOCKET QT_QPA_PLATFORM XDG_SESSION_TYPE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS

# start_fake <silent|garbage> <socket>: a fake display server on the socket
# (a path, or @name for an abstract one). Fails when the name is taken.
start_fake() {
  [[ $2 == @* ]] || rm -f "$2"
  python3 "$here/fake_display_server.py" "$1" "$2" >"$scratch/fake.out" 2>"$scratch/fake.err" &
  fake_pid=$!
  listening() { grep -qs '^listening' "$scratch/fake.out" || ! kill -0 "$fake_pid" 2>/dev/null; }
  until_ok 30 listening && grep -qs '^listening' "$scratch/fake.out" || { wait "$fake_pid" 2>/dev/null; fake_pid=; return 1; }
}
stop_fake() {
  kill "$fake_pid" 2>/dev/null || true
  wait "$fake_pid" 2>/dev/null || true
  fake_pid=
}

# An X display number nobody uses, its abstract socket held by a fake
# server of kind $1 (X clients try the abstract socket first).
start_fake_x() {
  local number
  for number in $(seq 150 250); do
    [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ] && continue
    if start_fake "$1" "@/tmp/.X11-unix/X$number"; then
      fake_display=:$number
      return 0
    fi
  done
  return 1
}

# refused <what> <expected line> <variable=value...>: the program, started
# with these variables and no others of the display's, ends with status 1
# and exactly the one line; "*" in the line stands for any text.
refused() {
  local what=$1 line=$2 rc=0 err
  shift 2
  (cd "$scratch" && exec env -u DISPLAY -u WAYLAND_DISPLAY "$@" timeout 60 "$game") \
    >"$scratch/out" 2>"$scratch/err" || rc=$?
  err=$(cat "$scratch/err")
  [ "$rc" != 124 ] || fail "$what: the program still waits after 60 s"
  [ "$rc" = 1 ] || fail "$what: exit status $rc, not 1: $err"
  [ "$(wc -l <"$scratch/err")" = 1 ] || fail "$what: not one line on stderr: $err"
  # shellcheck disable=SC2053
  [[ $err == $line ]] || fail "$what: says '$err'"
  echo "$what: status 1, '$err'"
}
needs=' Quillware Coilrunner needs a desktop session (X11 or Wayland).'

# --- no display answers --------------------------------------------------------

# A real X server, stopped.
Xvfb -displayfd 3 -auth "$XAUTHORITY" -noreset -nolisten tcp -screen 0 640x480x24 \
  3>"$scratch/stopped-display" >"$scratch/stopped.log" 2>&1 &
stopped_pid=$!
until_ok 20 grep -qs '^[0-9]' "$scratch/stopped-display" || fail "the X server to stop did not start"
stopped=:$(head -n1 "$scratch/stopped-display")
until_ok 10 env DISPLAY="$stopped" xwininfo -root >/dev/null 2>&1 || fail "cannot reach the X server to stop"
kill -STOP "$stopped_pid"
refused "a stopped X server" "coilrunner: the X server \"$stopped\" did not answer within 5 seconds;$needs" \
  DISPLAY="$stopped"
kill -CONT "$stopped_pid"
kill "$stopped_pid"
wait "$stopped_pid" 2>/dev/null || true
stopped_pid=

start_fake_x silent || fail "no fake X server"
refused "an X socket that says nothing" "coilrunner: the X server \"$fake_display\" did not answer within 5 seconds;$needs" \
  DISPLAY="$fake_display"
stop_fake

# Bytes that are no protocol: given up, whether as no answer or as none to
# be had.
start_fake_x garbage || fail "no fake X server"
refused "an X socket that answers no protocol" "coilrunner: *;$needs" DISPLAY="$fake_display"
stop_fake

start_fake silent "$XDG_RUNTIME_DIR/wayland-silent" || fail "no fake compositor"
refused "a Wayland socket that says nothing" \
  "coilrunner: the Wayland compositor \"wayland-silent\" did not answer within 5 seconds;$needs" \
  WAYLAND_DISPLAY=wayland-silent
# And Qt is not told to use X where no X server answers either.
refused "a Wayland socket that says nothing and an X display nobody serves" \
  "coilrunner: the Wayland compositor \"wayland-silent\" did not answer within 5 seconds;$needs" \
  WAYLAND_DISPLAY=wayland-silent DISPLAY=:4711
stop_fake

start_fake garbage "$XDG_RUNTIME_DIR/wayland-garbage" || fail "no fake compositor"
refused "a Wayland socket that answers no protocol" "coilrunner: *;$needs" WAYLAND_DISPLAY=wayland-garbage
stop_fake

# --- a compositor that does not answer, an X server that does ----------------

# The browser the game starts (Help > Go to Quillware website) is this
# stand-in, which records the environment it was given.
mkdir -p "$scratch/bin"
cat >"$scratch/bin/xdg-open" <<EOF
#!/bin/sh
env >"$scratch/browser-env.tmp" && mv "$scratch/browser-env.tmp" "$scratch/browser-env"
EOF
chmod +x "$scratch/bin/xdg-open"

game_ended() { ! kill -0 "$game_pid" 2>/dev/null; }
window_or_end() { one_window main 'Quillware Coilrunner' || game_ended; }
browsed() { [ -s "$scratch/browser-env" ]; }
open_website() { xdotool windowfocus --sync "$main" key alt+h w; }

for kind in silent garbage; do
  start_fake "$kind" "$XDG_RUNTIME_DIR/wayland-$kind" || fail "no fake compositor"
  rm -f "$scratch/browser-env"
  (cd "$scratch" && exec env DISPLAY="$live" WAYLAND_DISPLAY="wayland-$kind" PATH="$scratch/bin:$PATH" \
     timeout 120 "$game") >"$scratch/game.log" 2>&1 &
  game_pid=$!
  until_ok 60 window_or_end || fail "$kind compositor: no main window and no end"
  game_ended && fail "$kind compositor: the game ended instead of using X: $(cat "$scratch/game.log")"
  repeat_until 60 browsed open_website || fail "$kind compositor: the browser was not started"
  grep -qx "WAYLAND_DISPLAY=wayland-$kind" "$scratch/browser-env" && grep -qx "DISPLAY=$live" "$scratch/browser-env" \
    || fail "$kind compositor: the browser does not see the desktop's display: $(grep DISPLAY "$scratch/browser-env")"
  ! grep -q '^QT_QPA_PLATFORM=' "$scratch/browser-env" \
    || fail "$kind compositor: the browser sees $(grep '^QT_QPA_PLATFORM=' "$scratch/browser-env"), which the desktop did not set"
  until_ok 30 xdotool windowfocus --sync "$main" key Escape || fail "could not press Escape"
  wait "$game_pid" && rc=0 || rc=$?
  game_pid=
  [ "$rc" = 0 ] || fail "$kind compositor: the game ended with $rc (not by Escape): $(cat "$scratch/game.log")"
  stop_fake
  echo "a Wayland socket that is $kind, an X server that answers: the main window on X, the browser with the desktop's environment"
done

passed=1
echo "PASS: displays that do not answer end the start in one line; a compositor that does not is given up for X"
