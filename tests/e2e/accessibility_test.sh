#!/usr/bin/env bash
# The game as a screen reader meets it, on a real accessibility bus: a
# private X server, a private D-Bus session, the AT-SPI bus and registry of
# at-spi2-core, accessibility switched on as the desktop does when a screen
# reader runs, and a client in Python through pyatspi (accessibility_client.py
# says what it checks). coilrunner_a11y_driver runs the real main window and
# opens the settings and starts and feeds a game when the client asks.
# Every wait has a deadline; everything started here is stopped on exit.
#
# Usage: accessibility_test.sh <path to coilrunner_a11y_driver>
set -euo pipefail

driver=$(realpath "$1")

here=$(dirname "$(realpath "$0")")
. "$here/xserver.sh"
need_tools Xvfb xauth xwininfo xdotool dbus-daemon dbus-send
launcher=/usr/libexec/at-spi-bus-launcher
[ -x "$launcher" ] || { echo "SKIP: $launcher is missing (scripts/deps.sh test installs at-spi2-core)"; exit 77; }
# Debian's pyatspi is for Debian's own Python, whatever python3 is first on PATH.
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null \
  || { echo "SKIP: /usr/bin/python3 cannot import pyatspi (scripts/deps.sh test installs python3-pyatspi)"; exit 77; }

begin_test client_pid driver_pid launcher_pid bus_pid xvfb_pid
start_xserver "$scratch" || fail "no X server"
export XDG_RUNTIME_DIR=$scratch/runtime HOME=$scratch/home
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$HOME"
export QT_QPA_PLATFORM=xcb
unset WAYLAND_DISPLAY QT_SCALE_FACTOR QT_ACCESSIBILITY QT_LINUX_ACCESSIBILITY_ALWAYS_ON NO_AT_BRIDGE

dbus-daemon --session --nofork --nopidfile --address="unix:path=$scratch/session-bus" \
  --print-address=1 >"$scratch/bus.address" 2>"$scratch/bus.log" &
bus_pid=$!
until_ok 30 grep -qs '^unix:' "$scratch/bus.address" || fail "no D-Bus session: $(cat "$scratch/bus.log")"
export DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$scratch/bus.address")

"$launcher" --launch-immediately >"$scratch/launcher.log" 2>&1 &
launcher_pid=$!
a11y_bus() { dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress >/dev/null 2>&1; }
until_ok 30 a11y_bus || fail "no accessibility bus: $(cat "$scratch/launcher.log")"
# What the desktop sets when a screen reader runs; programs look here.
dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Set \
  string:org.a11y.Status string:ScreenReaderEnabled variant:boolean:true >/dev/null \
  || fail "could not switch on the screen reader's setting"

mkfifo "$scratch/commands"
mkdir "$scratch/play"
timeout 300 /usr/bin/python3 "$here/accessibility_client.py" "$scratch/commands" "$scratch/driver.out" \
  >"$scratch/client.out" 2>&1 &
client_pid=$!
until_ok 60 grep -qsx listening "$scratch/client.out" \
  || fail "the screen-reader client did not start: $(cat "$scratch/client.out")"
(cd "$scratch/play" && exec "$driver") <"$scratch/commands" >"$scratch/driver.out" 2>"$scratch/driver.log" &
driver_pid=$!
exec 3>"$scratch/commands"   # the driver ends when this closes

wait "$client_pid" && rc=0 || rc=$?
client_pid=
grep -vx listening "$scratch/client.out" || true
[ "$rc" = 0 ] || fail "the screen-reader client ended with $rc; the driver said: $(cat "$scratch/driver.out" "$scratch/driver.log")"
exec 3>&-
wait "$driver_pid" && rc=0 || rc=$?
driver_pid=
[ "$rc" = 0 ] || fail "the driver ended with $rc: $(cat "$scratch/driver.log")"

passed=1
echo "PASS: over AT-SPI the settings' choices are radio buttons with their state, and the score reaches the focused play area"
