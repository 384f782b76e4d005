#!/usr/bin/env bash
# Activation on Wayland, as a launcher that honours the menu entry's
# StartupNotify uses it: the launcher asks the compositor for a token and
# starts the program with XDG_ACTIVATION_TOKEN; the program hands the token
# back with its main window's surface (xdg_activation_v1.activate), and the
# compositor brings that window to the front. Weston offers no activation, so
# the compositor here is a headless sway; the token is one the compositor
# never issued, which it may refuse, but what the program sent is in its
# Wayland protocol log.
# Every wait has a deadline; the game and the compositor are stopped on exit.
#
# Usage: activation_test.sh <path to coilrunner>
set -euo pipefail

game=$(realpath "$1")

here=$(dirname "$(realpath "$0")")
. "$here/harness.sh"
need_tools sway setpriv
if [ -z "$(find /usr/lib /usr/lib64 -path '*/qt6/plugins/platforms/libqwayland-generic.so' -print -quit 2>/dev/null)" ]; then
  echo "SKIP: Qt's Wayland platform plugin is not installed (scripts/deps.sh test installs qt6-wayland)"
  exit 77
fi

begin_test game_pid sway_pid
unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET QT_QPA_PLATFORM QT_SCALE_FACTOR XDG_SESSION_TYPE
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
printf 'output HEADLESS-1 resolution 800x600\nxwayland disable\n' >"$scratch/sway.config"

# sway refuses to run as root; there it runs as nobody, in a runtime folder
# of nobody's (root may still connect to its socket).
as_user=()
if [ "$(id -u)" = 0 ]; then
  chown nobody "$XDG_RUNTIME_DIR" "$scratch/sway.config"
  chmod o+x "$scratch"
  as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
fi
HOME=$XDG_RUNTIME_DIR WLR_BACKENDS=headless WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman \
  "${as_user[@]}" sway -c "$scratch/sway.config" >"$scratch/sway.log" 2>&1 &
sway_pid=$!
socket() { find "$XDG_RUNTIME_DIR" -maxdepth 1 -name 'wayland-*' -type s -printf '%f\n' -quit | grep .; }
until_ok 30 socket >/dev/null || fail "sway did not start: $(tail -20 "$scratch/sway.log")"
export WAYLAND_DISPLAY=$(socket)

token="coilrunner-test-token-$$"
mkdir "$scratch/play"
(cd "$scratch/play" && XDG_ACTIVATION_TOKEN=$token WAYLAND_DEBUG=client QT_QPA_PLATFORM=wayland \
  QT_IM_MODULE=none exec timeout 120 "$game") >"$scratch/game.out" 2>"$scratch/game.log" &
game_pid=$!
activated() { grep -qs "xdg_activation_v1@[0-9]*\.activate(\"$token\"" "$scratch/game.log"; }
until_ok 60 activated \
  || fail "the game did not hand its token to the compositor: $(grep -v '^\[' "$scratch/game.log" | tail; grep -c . "$scratch/game.log") log lines"

# The surface it names is the main window's: the toplevel titled with the
# game's name. Object ids are reused, so each is taken as it stood then.
awk -v token="$token" '
  match($0, /get_xdg_surface\(new id xdg_surface@[0-9]+, wl_surface@[0-9]+\)/) {
    split(substr($0, RSTART, RLENGTH), f, /[@,)]/); surface_of["xdg_surface@" f[2]] = "wl_surface@" f[4]
  }
  match($0, /xdg_surface@[0-9]+\.get_toplevel\(new id xdg_toplevel@[0-9]+\)/) {
    split(substr($0, RSTART, RLENGTH), f, /[@.)]/); split(substr($0, RSTART, RLENGTH), g, /xdg_toplevel@/)
    sub(/\).*/, "", g[2]); toplevel_surface["xdg_toplevel@" g[2]] = surface_of["xdg_surface@" f[2]]
  }
  match($0, /xdg_toplevel@[0-9]+\.set_title\(".*"\)/) {
    split(substr($0, RSTART, RLENGTH), f, /[.(]/); t = substr($0, RSTART, RLENGTH); sub(/^[^"]*"/, "", t); sub(/"\)$/, "", t)
    title_of[toplevel_surface[f[1]]] = t
  }
  index($0, ".activate(\"" token "\"") {
    s = $0; sub(/.*, /, "", s); sub(/\).*/, "", s)
    print title_of[s]; exit
  }' "$scratch/game.log" >"$scratch/activated"
[ "$(cat "$scratch/activated")" = "Quillware Coilrunner" ] \
  || fail "the token went with the surface of '$(cat "$scratch/activated")', not the main window's"
# Handed back once: a token is good for one activation.
[ "$(grep -c "\.activate(\"$token\"" "$scratch/game.log")" = 1 ] || fail "the token was used more than once"

passed=1
echo "PASS: started with an activation token, the game hands it to the compositor with its main window"
