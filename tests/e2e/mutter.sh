# Sourced by the desktop tests that run on GNOME's compositor, mutter,
# headless; source harness.sh first. Everything runs in a folder of the
# test's own: a private D-Bus session bus, PipeWire and WirePlumber (the
# screen's pictures travel through them), mutter with one virtual monitor of
# 1280 x 1024 that takes Wayland clients only, and coilrunner_mutter_remote,
# which holds a remote-desktop and a screen-cast session: keys and clicks go
# in through the compositor's seat as a player's would, pictures come out of
# what the compositor shows. Every wait has a bound.
#
#   mutter_start <coilrunner_mutter_remote> <folder>
#       Starts all of the above in <folder> (made if missing). Skips the test
#       (exit 77) when mutter, PipeWire, WirePlumber or dbus-daemon is not
#       installed or the remote tool was not built. Exports WAYLAND_DISPLAY,
#       XDG_RUNTIME_DIR (mode 700, in the folder), DBUS_SESSION_BUS_ADDRESS,
#       and GSETTINGS_BACKEND=keyfile with XDG_CONFIG_HOME in the folder, so
#       that mutter and the test's programs read the settings mutter_set
#       writes. When it returns, the seat has a keyboard and a pointer.
#       Add "${mutter_pids[@]}" to begin_test's names so that everything
#       stops when the test ends.
#   mutter_prepare <folder>
#       The folder and the environment alone (XDG_RUNTIME_DIR, the settings),
#       for settings written before mutter starts; mutter_start does it
#       itself when it was not done for its folder.
#   mutter_set <path> <key> <value>
#       Writes one setting, as gsettings would under /<path>/ (for example
#       org/gnome/mutter attach-modal-dialogs true); <value> is GVariant text
#       ("'prefer-dark'" for a string). Before mutter_start, mutter starts
#       with it; later, readers that watch the settings see the change.
#   mutter_ask <request...>
#       One request to the remote (key, press, release, click, move, shot,
#       frames: see tests/e2e/MutterRemote.cpp); prints its answer, fails
#       unless it begins with "ok".
#   mutter_key <evdev key code...>     presses and releases each key in turn
#   mutter_click <x> <y>               a left click at x, y of the screen
#   mutter_screenshot <file>           the latest picture of the screen, PNG
#   mutter_shot_command                an array: the command that leaves
#                                      shot.png in the current folder (for a
#                                      driver that takes its own pictures)
#
# The settings GNOME's session gives mutter are set here as the session sets
# them: attach-modal-dialogs (GNOME Shell's override for the GNOME desktop),
# which attaches a modal dialog to its parent and keeps it centred over it.
# Animations are off (org.gnome.desktop.interface enable-animations), so that
# a window stands at its place in the first picture that shows it.
#
# Evdev key codes: Escape 1, Return 28, Tab 15, Space 57, left Shift 42,
# left Alt 56, F1 59, Q 16, A 30, N 49, M 50.

mutter_pids=(mutter_remote_pid mutter_pid mutter_wireplumber_pid mutter_pipewire_pid mutter_bus_pid)

mutter_set() {
  [ -n "${mutter_dir:-}" ] || { echo "mutter_set: call mutter_prepare first"; return 1; }
  local file=$mutter_dir/config/glib-2.0/settings/keyfile
  mkdir -p "$(dirname "$file")"
  touch "$file"
  # One group per path; a key set again replaces its line.
  awk -v group="[$1]" -v key="$2" -v value="$3" '
    $0 == group { print; print key "=" value; in_group = 1; done = 1; next }
    /^\[/ { in_group = 0 }
    in_group && index($0, key "=") == 1 { next }
    { print }
    END { if (!done) { print group; print key "=" value } }' "$file" >"$file.new"
  mv "$file.new" "$file"
}

# The folders and environment alone, so that settings can be written before
# the compositor starts; mutter_start calls it when it was not called.
mutter_prepare() {
  mutter_dir=$(realpath -m "$1")
  mkdir -p "$mutter_dir"
  export XDG_RUNTIME_DIR=$mutter_dir/runtime
  mkdir -p -m 700 "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  export XDG_CONFIG_HOME=$mutter_dir/config
  mkdir -p "$XDG_CONFIG_HOME"
  export GSETTINGS_BACKEND=keyfile
  mutter_set org/gnome/mutter attach-modal-dialogs true
  mutter_set org/gnome/desktop/interface enable-animations false
}

mutter_start() {
  local remote=$1
  need_tools mutter pipewire wireplumber dbus-daemon
  if [ ! -x "$remote" ]; then
    echo "SKIP: coilrunner_mutter_remote was not built (it needs libpipewire-0.3-dev and Qt's D-Bus module)"
    exit 77
  fi
  [ "${mutter_dir:-}" = "$(realpath -m "$2")" ] || mutter_prepare "$2"
  unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET
  export HOME=$mutter_dir/home
  mkdir -p "$HOME"

  # The bus, at a path of its own.
  dbus-daemon --session --nofork --nopidfile --address="unix:path=$mutter_dir/bus" \
    >"$mutter_dir/bus.log" 2>&1 &
  mutter_bus_pid=$!
  until_ok 30 test -S "$mutter_dir/bus" || fail "the D-Bus session bus did not start: $(cat "$mutter_dir/bus.log")"
  export DBUS_SESSION_BUS_ADDRESS=unix:path=$mutter_dir/bus

  pipewire >"$mutter_dir/pipewire.log" 2>&1 &
  mutter_pipewire_pid=$!
  until_ok 30 test -S "$XDG_RUNTIME_DIR/pipewire-0" || fail "PipeWire did not start: $(cat "$mutter_dir/pipewire.log")"
  wireplumber >"$mutter_dir/wireplumber.log" 2>&1 &
  mutter_wireplumber_pid=$!

  mutter --headless --wayland --no-x11 --virtual-monitor 1280x1024 --wayland-display coilrunner-mutter \
    >"$mutter_dir/mutter.log" 2>&1 &
  mutter_pid=$!
  until_ok 60 test -S "$XDG_RUNTIME_DIR/coilrunner-mutter" || fail "mutter did not start: $(tail -20 "$mutter_dir/mutter.log")"
  export WAYLAND_DISPLAY=coilrunner-mutter

  # The remote waits for the compositor's interfaces on the bus itself, and
  # says "ready" once the first picture of the screen came.
  mutter_socket=$mutter_dir/remote.socket
  mutter_remote=$remote
  "$remote" serve "$mutter_socket" >"$mutter_dir/remote.out" 2>"$mutter_dir/remote.log" &
  mutter_remote_pid=$!
  until_ok 90 grep -q '^ready$' "$mutter_dir/remote.out" \
    || fail "no picture from mutter's screen cast: $(cat "$mutter_dir/remote.log"; tail -20 "$mutter_dir/mutter.log")"
  mutter_shot_command=("$remote" ask "$mutter_socket" shot shot.png)

  # A headless seat has no keyboard and no pointer until the first virtual
  # key and motion: a Shift alone, and the pointer to the screen's corner.
  mutter_key 42 >/dev/null || fail "the first key did not reach mutter"
  mutter_ask move 1279 1023 >/dev/null || fail "the first pointer motion did not reach mutter"
}

mutter_ask() { "$mutter_remote" ask "$mutter_socket" "$@"; }
mutter_key() { mutter_ask key "$@"; }
mutter_click() { mutter_ask click "$1" "$2"; }
mutter_screenshot() { mutter_ask shot "$1"; }
