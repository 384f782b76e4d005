#!/usr/bin/env bash
# The caption bar in a GNOME session, on GNOME's compositor (mutter,
# headless), which draws no title bars: the desktop's settings are set as
# gsettings would set them, and the program reads them from the desktop's
# settings portal (xdg-desktop-portal, with the GTK back end reading those
# settings). coilrunner_titlebar_driver runs the real main window and finds
# it in the compositor's picture of the screen; this script changes the
# settings, clicks and types through the compositor's seat as a player would,
# and asks the driver what came of it:
#   - started with the dark style and "close,minimize:", the bar is GNOME's
#     dark one with close and minimise on the left;
#   - the light style, GNOME's default layout "appmenu:close" (close alone)
#     and ":minimize,close" are followed while the program runs;
#   - with the About box up, the main window's bar takes the inactive look;
#   - a right click on the bar, Shift+F10 and the Menu key open the game's
#     window menu, with "Inf&o about Coilrunner...";
#   - Alt+Space does not reach the program: mutter keeps it for its own
#     window menu (which plain mutter does not show).
# Every wait has a bound; everything started is stopped on exit.
#
# Usage: gnome_titlebar_test.sh <coilrunner_titlebar_driver> <coilrunner_mutter_remote>
set -euo pipefail

driver=$(realpath "$1")
remote=$(realpath -m "$2")
here=$(dirname "$(realpath "$0")")
. "$here/harness.sh"
. "$here/mutter.sh"

portal=/usr/libexec/xdg-desktop-portal
portal_backend=/usr/libexec/xdg-desktop-portal-gtk
for program in "$portal" "$portal_backend"; do
  if [ ! -x "$program" ]; then
    echo "SKIP: $program is not installed (scripts/deps.sh test installs xdg-desktop-portal and xdg-desktop-portal-gtk)"
    exit 77
  fi
done
need_tools dbus-send
if [ -z "$(find /usr/lib /usr/lib64 -path '*/qt6/plugins/platforms/libqwayland-generic.so' -print -quit 2>/dev/null)" ]; then
  echo "SKIP: Qt's Wayland platform plugin is not installed (scripts/deps.sh test installs qt6-wayland)"
  exit 77
fi

begin_test "${mutter_pids[@]}" backend_pid portal_pid driver_pid

# --- the session: its settings, the compositor, the settings portal -------------
mutter_prepare "$scratch/mutter"
mutter_set org/gnome/desktop/interface color-scheme "'prefer-dark'"
mutter_set org/gnome/desktop/wm/preferences button-layout "'close,minimize:'"
mutter_start "$remote" "$scratch/mutter"
export XDG_CURRENT_DESKTOP=GNOME

on_failure() {
  tail -20 "$scratch/driver.log" 2>/dev/null || true
}

bus_has() {
  dbus-send --session --print-reply --reply-timeout=5000 --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.GetNameOwner "string:$1" >/dev/null 2>&1
}
# The back end first: the portal looks for its back ends once, as it starts.
# The portal is told of the GTK back end alone; GNOME's own would want GNOME
# Shell.
"$portal_backend" >"$scratch/backend.log" 2>&1 &
backend_pid=$!
until_ok 60 bus_has org.freedesktop.impl.portal.desktop.gtk \
  || fail "the portal's back end did not start: $(tail -5 "$scratch/backend.log")"
mkdir "$scratch/portals"
cp /usr/share/xdg-desktop-portal/portals/gtk.portal "$scratch/portals/"
XDG_DESKTOP_PORTAL_DIR=$scratch/portals "$portal" >"$scratch/portal.log" 2>&1 &
portal_pid=$!
portal_says_dark() {
  dbus-send --session --print-reply --reply-timeout=5000 --dest=org.freedesktop.portal.Desktop \
    /org/freedesktop/portal/desktop org.freedesktop.portal.Settings.Read \
    string:org.freedesktop.appearance string:color-scheme 2>/dev/null | grep -q 'uint32 1'
}
until_ok 60 portal_says_dark || fail "the settings portal does not give the dark style: $(tail -5 "$scratch/portal.log")"

# --- the program -------------------------------------------------------------------
mkdir -p "$scratch/play" "$scratch/shots"
cd "$scratch/play"
# QT_IM_MODULE=none: Qt 6.4's Wayland input method reaches for the seat's
# keyboard on every key in an edit box.
coproc DRIVER {
  WAYLAND_DEBUG=client QT_QPA_PLATFORM=wayland QT_IM_MODULE=none exec timeout 540 \
    "$driver" "$scratch/shots" "${mutter_shot_command[@]}" 2>"$scratch/driver.log"
}
driver_pid=$DRIVER_PID
answer=
# The bound is for a hang: the driver answers FAIL itself after a minute.
hear() { read -r -t 180 -u "${DRIVER[0]}" answer || fail "no answer from the driver${1:+ to $1}"; }
ask() {
  echo "$*" >&"${DRIVER[1]}"
  hear "$*"
  case $answer in FAIL*) fail "$*: $answer" ;; esac
}
hear
[ "$answer" = ready ] || fail "the driver said \"$answer\", not ready"

BTN_RIGHT=273 KEY_ESC=1 KEY_LEFTSHIFT=42 KEY_LEFTALT=56 KEY_SPACE=57 KEY_F10=68 KEY_COMPOSE=127

# --- the bar, as the settings say, and as they change ------------------------------
ask bar dark close,minimize: active
echo "dark, close and minimise on the left: $answer"
mutter_set org/gnome/desktop/interface color-scheme "'default'"
ask bar light close,minimize: active
mutter_set org/gnome/desktop/wm/preferences button-layout "'appmenu:close'"
ask bar light appmenu:close active
echo "light, GNOME's default layout: $answer"
mutter_set org/gnome/desktop/wm/preferences button-layout "':minimize,close'"
ask bar light :minimize,close active
echo "light, minimise and close on the right: $answer"

# Under the About box the main window is inactive; Escape closes the box.
ask about
ask bar light :minimize,close inactive
echo "inactive: $answer"
mutter_key $KEY_ESC >/dev/null
ask about-closed
ask bar light :minimize,close active

# --- the window menu -----------------------------------------------------------------
ask where title
read -r _ x y <<<"$answer"
mutter_ask click "$x" "$y" $BTN_RIGHT >/dev/null
ask menu
mutter_key $KEY_ESC >/dev/null
ask menu-closed
echo "a right click on the bar opens the window menu"

ask keys
mutter_ask press $KEY_LEFTALT >/dev/null
mutter_key $KEY_SPACE >/dev/null
mutter_ask release $KEY_LEFTALT >/dev/null
mutter_ask press $KEY_LEFTSHIFT >/dev/null
mutter_key $KEY_F10 >/dev/null
mutter_ask release $KEY_LEFTSHIFT >/dev/null
ask menu
ask keys
case " ${answer#keys } " in
  *" Alt+Space "*) fail "Alt+Space reached the program (keys: ${answer#keys })" ;;
  *" Shift+F10 "*) ;;
  *) fail "Shift+F10 is not among the keys the program saw: ${answer#keys }" ;;
esac
echo "Shift+F10 opens the window menu; Alt+Space stays with mutter"
mutter_key $KEY_ESC >/dev/null
ask menu-closed
mutter_key $KEY_COMPOSE >/dev/null
ask menu
mutter_key $KEY_ESC >/dev/null
ask menu-closed
echo "the Menu key opens the window menu"

ask quit
driver_ended() {
  local state
  state=$(ps -o stat= -p "$driver_pid" 2>/dev/null) || return 0
  [[ $state == Z* ]]
}
until_ok 60 driver_ended || fail "the driver did not end"
wait "$driver_pid" || fail "the driver ended with $?: $(tail -5 "$scratch/driver.log")"
passed=1
