#!/usr/bin/env bash
# The steering keys on the keyboard layouts players use (US, French,
# German, Russian, US and Russian with the Russian group locked, Greek),
# pressed by key code so that the window system's layout decides what each
# key means; coilrunner_keys_driver plays the keys into the real main window
# and checks where each one steers.
#   x11:     on a private Xvfb; the driver loads each layout into the server
#            with setxkbmap and presses the keys with XTest.
#   wayland: on a private headless sway (wlroots, which takes keys from a
#            virtual keyboard; Weston does not); the driver's virtual keyboard
#            uploads each layout's keymap and sends the key codes. sway will
#            not run as root, so as root it runs as nobody.
# Every wait has a deadline; the servers are stopped on exit.
#
# Usage: keys_test.sh x11|wayland <path to coilrunner_keys_driver>
set -euo pipefail

mode=$1
driver=$(realpath "$2")

here=$(dirname "$(realpath "$0")")
. "$here/xserver.sh"   # harness.sh, start_xserver
begin_test server_pid xvfb_pid
unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET QT_QPA_PLATFORM QT_SCALE_FACTOR XDG_SESSION_TYPE QT_IM_MODULE
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

case $mode in
x11)
  need_tools Xvfb xauth xwininfo setxkbmap
  start_xserver "$scratch" || fail "no X server"
  export QT_QPA_PLATFORM=xcb
  ;;
wayland)
  need_tools sway setpriv
  if [ -z "$(find /usr/lib /usr/lib64 -path '*/qt6/plugins/platforms/libqwayland-generic.so' -print -quit 2>/dev/null)" ]; then
    echo "SKIP: Qt's Wayland platform plugin is not installed (scripts/deps.sh test installs qt6-wayland)"
    exit 77
  fi
  # sway's own folder: its socket appears there under a name it picks.
  sway_runtime=$scratch/sway-runtime
  mkdir -m 700 "$sway_runtime"
  printf 'xwayland disable\noutput HEADLESS-1 resolution 800x600\n' >"$scratch/sway.conf"
  as_user=()
  if [ "$(id -u)" = 0 ]; then
    chown nobody: "$sway_runtime"
    chmod a+rx "$scratch"
    chmod a+r "$scratch/sway.conf"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  "${as_user[@]}" env -u DISPLAY HOME="$sway_runtime" XDG_RUNTIME_DIR="$sway_runtime" \
    WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
    sway --config "$scratch/sway.conf" >"$scratch/sway.log" 2>&1 &
  server_pid=$!
  socket_up() { compgen -G "$sway_runtime/wayland-*[0-9]" >/dev/null; }
  until_ok 30 socket_up || fail "sway did not start: $(tail -20 "$scratch/sway.log")"
  socket=$(compgen -G "$sway_runtime/wayland-*[0-9]" | head -n1)
  # A full path: the game keeps its own runtime folder.
  export WAYLAND_DISPLAY=$socket
  export QT_QPA_PLATFORM=wayland
  ;;
*)
  echo "usage: $0 x11|wayland <driver>" >&2
  exit 2
  ;;
esac

timeout 300 "$driver" >"$scratch/driver.out" 2>"$scratch/driver.log" && rc=0 || rc=$?
cat "$scratch/driver.out"
[ "$rc" = 0 ] || fail "the driver ended with $rc: $(grep -v '^\[' "$scratch/driver.log" | tail -30)"

passed=1
echo "PASS: the steering keys on every layout, on $mode"
