#!/usr/bin/env bash
# A whole game on a headless Wayland compositor, with the real main window,
# message boxes and dialogs: on Weston, which draws no title bars, so the
# program draws its own; on sway, which announces the xdg decoration
# manager and draws them itself; or on GNOME's mutter, which draws none
# either and is told of every dialog that it is modal. A compositor lets no outside program type or
# click into a client, so coilrunner_wayland_driver posts the input through
# the toolkit from inside the game's process and checks each window as it
# comes (its title bar among the rest); the pictures it checks (the field with
# the snake, the settings' preview strip) come from the compositor through
# weston-screenshooter or grim.
# This script then checks, from the Wayland protocol log of the game, what
# the compositor was told: every title is a caption alone, every box is
# transient for the main window, every window has one fixed size, and every
# window's decoration: on sway each asked for the compositor's and got it in
# server-side mode, on Weston and mutter none asked; and the modal marks
# (modal_protocol.awk): on mutter every dialog was marked modal before it
# showed, on Weston and sway, which offer no way to say it, nothing asked for
# one. It compares HiScores.ini byte for
# byte. Before that, the program itself must stop with its own one-line
# message when WAYLAND_DISPLAY names no compositor and there is no X display.
# Every wait has a deadline; the compositor and the game are stopped on exit.
#
# Usage: wayland_test.sh <weston|sway|mutter> <path to coilrunner> <path to coilrunner_wayland_driver>
#                        [path to coilrunner_mutter_remote, for mutter]
set -euo pipefail

compositor=$1
game=$(realpath "$2")
driver=$(realpath "$3")

here=$(dirname "$(realpath "$0")")
. "$here/harness.sh"
. "$here/mutter.sh"
case $compositor in
  weston) need_tools weston weston-screenshooter ;;
  sway) need_tools sway grim setpriv ;;
  mutter) [ $# -ge 4 ] || { echo "mutter needs the path to coilrunner_mutter_remote"; exit 2; }
          remote=$(realpath -m "$4") ;;
  *) echo "unknown compositor: $compositor"; exit 2 ;;
esac
if [ -z "$(find /usr/lib /usr/lib64 -path '*/qt6/plugins/platforms/libqwayland-generic.so' -print -quit 2>/dev/null)" ]; then
  echo "SKIP: Qt's Wayland platform plugin is not installed (scripts/deps.sh test installs qt6-wayland)"
  exit 77
fi

begin_test compositor_pid "${mutter_pids[@]}"

unset DISPLAY WAYLAND_DISPLAY WAYLAND_SOCKET QT_QPA_PLATFORM QT_SCALE_FACTOR XDG_SESSION_TYPE
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# --- a stale WAYLAND_DISPLAY and no X display: the program's own message -----
set +e
WAYLAND_DISPLAY=wayland-gone timeout 60 "$game" >"$scratch/stale.out" 2>"$scratch/stale.err"
rc=$?
set -e
[ "$rc" = 1 ] && [ "$(wc -l <"$scratch/stale.err")" = 1 ] \
  && grep -q '^coilrunner: no display could be reached' "$scratch/stale.err" \
  || fail "with a stale WAYLAND_DISPLAY the program ended with $rc: $(cat "$scratch/stale.err")"

# --- the compositor, headless, drawing with pixman -------------------------------
if [ "$compositor" = weston ]; then
  # A plain background, so that no pixel of it passes for the grey field; no
  # idle blanking, during which Weston takes no pictures.
  printf '[shell]\nbackground-color=0xff203040\n' >"$scratch/weston.ini"
  weston --backend=headless-backend.so --use-pixman --debug --idle-time=0 \
    --config="$scratch/weston.ini" --socket=coilrunner-test >"$scratch/compositor.log" 2>&1 &
  compositor_pid=$!
  until_ok 30 test -S "$XDG_RUNTIME_DIR/coilrunner-test" || fail "Weston did not start: $(cat "$scratch/compositor.log")"
  export WAYLAND_DISPLAY=coilrunner-test
  title_bars=own
  screenshot=("$(command -v weston-screenshooter)")
elif [ "$compositor" = mutter ]; then
  # Headless, on a private bus with PipeWire for the pictures; its own
  # background is a gradient of blues.
  mutter_start "$remote" "$scratch/mutter"
  title_bars=own
  screenshot=("${mutter_shot_command[@]}")
else
  # No input devices and no X server; its background is a plain dark grey.
  # sway refuses to run as root, so under root it runs as nobody. It has a
  # runtime folder of its own (root's clients may use nobody's socket all
  # the same), and the clients find its socket by its full path.
  sway_runtime=$scratch/compositor
  mkdir -m 700 "$sway_runtime"
  printf 'xwayland disable\noutput HEADLESS-1 resolution 1024x768\n' >"$sway_runtime/sway.conf"
  as_user=()
  if [ "$(id -u)" = 0 ]; then
    chmod 711 "$scratch"
    chown -R nobody "$sway_runtime"
    as_user=(setpriv --reuid=nobody --regid=nogroup --clear-groups)
  fi
  "${as_user[@]}" env HOME="$sway_runtime" XDG_RUNTIME_DIR="$sway_runtime" WLR_BACKENDS=headless \
    WLR_LIBINPUT_NO_DEVICES=1 WLR_RENDERER=pixman sway --config "$sway_runtime/sway.conf" \
    >"$scratch/compositor.log" 2>&1 &
  compositor_pid=$!
  # sway names its socket itself: wayland-N, the first free N.
  sway_socket() {
    local socket
    for socket in "$sway_runtime"/wayland-*; do
      [ -S "$socket" ] && { echo "$socket"; return 0; }
    done
    return 1
  }
  until_ok 30 sway_socket >/dev/null || fail "sway did not start: $(cat "$scratch/compositor.log")"
  WAYLAND_DISPLAY=$(sway_socket)
  export WAYLAND_DISPLAY
  title_bars=compositor
  screenshot=("$(command -v grim)" shot.png)
fi

# --- the game, in a folder with a prepared high-score table -------------------
# Rank 10 holds 0, so any final score is admitted.
play=$scratch/play
mkdir -p "$play" "$scratch/shots"
printf '%s' 'Ann~00900~Bea~00800~Cid~00700~Dana~00600~Emil~00500~Finn~00400~Gus~00300~Hal~00200~Ines~00100~Nobody~00000~04444' \
  >"$play/HiScores.ini"
# QT_IM_MODULE=none: Qt 6.4's Wayland input method reaches for the seat's
# keyboard on every key in an edit box, and a headless compositor has no
# keyboard.
(cd "$play" && WAYLAND_DEBUG=client QT_QPA_PLATFORM=wayland QT_IM_MODULE=none \
  exec timeout 540 "$driver" "$title_bars" "$scratch/shots" "${screenshot[@]}") \
  >"$scratch/driver.out" 2>"$scratch/driver.log" && rc=0 || rc=$?
[ "$rc" = 0 ] || fail "the driver ended with $rc: $(grep -v '^\[' "$scratch/driver.log" | tail -20; cat "$scratch/driver.out")"
score=$(sed -n 's/^final score: //p' "$scratch/driver.out")
[ -n "$score" ] || fail "the driver reported no final score"
echo "a game on Wayland ended with $score points"

# --- what the compositor was told ----------------------------------------------
# Titles: each toplevel's set_title, the first toplevel being the main
# window; a window without a title (a menu shown without a click of a real
# seat) goes by the program's name.
program=$(basename "$driver")
awk -v program="$program" -v title_bars="$title_bars" '
  function fail(text) { print "FAIL: " text; bad = 1 }
  # The object a request goes to. Found by its text, not by its field: the
  # time stamp in front of it is padded to seven digits, so the number of
  # fields before it depends on the clock.
  function target(   found) {
    match($0, /-> xdg_toplevel@[0-9]+\./); found = substr($0, RSTART + 3, RLENGTH - 4)
    return found
  }
  /-> xdg_surface@[0-9]+\.get_toplevel/ {
    match($0, /xdg_toplevel@[0-9]+/); id = substr($0, RSTART, RLENGTH)
    if (main == "") main = id
    parent[id] = ""; title[id] = ""; minsize[id] = ""; maxsize[id] = ""; decoration[id] = ""; mode[id] = ""
  }
  # The decoration object asked for a toplevel, and the mode the compositor
  # configures it in (2: server-side, 1: client-side).
  /-> zxdg_decoration_manager_v1@[0-9]+\.get_toplevel_decoration\(/ {
    match($0, /zxdg_toplevel_decoration_v1@[0-9]+/); d = substr($0, RSTART, RLENGTH)
    match($0, /xdg_toplevel@[0-9]+\)/); id = substr($0, RSTART, RLENGTH - 1)
    decoration[id] = d; decorated[d] = id
  }
  /[^>] zxdg_toplevel_decoration_v1@[0-9]+\.configure\(/ {
    match($0, /zxdg_toplevel_decoration_v1@[0-9]+/); d = substr($0, RSTART, RLENGTH)
    match($0, /configure\([0-9]+\)/); mode[decorated[d]] = substr($0, RSTART + 10, RLENGTH - 11)
  }
  /-> xdg_toplevel@[0-9]+\.set_title\(/ {
    id = target()
    match($0, /set_title\(".*"\)$/); title[id] = substr($0, RSTART + 11, RLENGTH - 13)
  }
  /-> xdg_toplevel@[0-9]+\.set_parent\(/ { id = target(); match($0, /set_parent\([^)]*\)/); parent[id] = substr($0, RSTART + 11, RLENGTH - 12) }
  /-> xdg_toplevel@[0-9]+\.set_min_size\(/ { id = target(); match($0, /\(.*\)/); minsize[id] = substr($0, RSTART, RLENGTH) }
  /-> xdg_toplevel@[0-9]+\.set_max_size\(/ { id = target(); match($0, /\(.*\)/); maxsize[id] = substr($0, RSTART, RLENGTH) }
  /-> xdg_toplevel@[0-9]+\.destroy\(\)/ { id = target(); check(id) }
  function check(id,   t) {
    t = title[id]
    if (t == program) return
    if (!(t in allowed)) fail("a window was titled \"" t "\"")
    seen[t] = 1
    if (id != main && parent[id] != main) fail("\"" t "\" is transient for \"" parent[id] "\", not for the main window " main)
    if (minsize[id] == "" || minsize[id] != maxsize[id] || minsize[id] == "(0, 0)")
      fail("\"" t "\" may be resized: minimum " minsize[id] ", maximum " maxsize[id])
    if (title_bars == "compositor" && (decoration[id] == "" || mode[id] != 2))
      fail("\"" t "\" is not decorated by the compositor: decoration " decoration[id] ", mode " mode[id])
    if (title_bars == "own" && decoration[id] != "")
      fail("\"" t "\" asked for the compositor'"'"'s decoration")
  }
  BEGIN {
    split("Quillware Coilrunner|Settings|All times greatest|New High Score!|Info about Quillware Coilrunner", names, "|")
    for (k in names) allowed[names[k]] = 1
  }
  END {
    if (main != "") check(main)
    for (k in names) if (!(names[k] in seen)) fail("no window titled \"" names[k] "\"")
    exit bad
  }' "$scratch/driver.log" | tee "$scratch/protocol.txt"
[ "${PIPESTATUS[0]}" = 0 ] || fail "what the compositor was told, above"
modal=none
[ "$compositor" = mutter ] && modal=modal
awk -v expect=$modal -v menus="$program" -f "$here/modal_protocol.awk" "$scratch/driver.log" \
  || fail "the modal marks the compositor got, above"
echo "titles, owners, sizes, decorations and modal marks ($modal) as the compositor got them: as expected"

# --- the file: the new entry in its place, the old ones as read (names padded
# to 44), the checksum the scores and letter weights give.
weight() {
  local name=$1 w=0 k
  for ((k = 0; k < ${#name}; ++k)); do
    case ${name:k:1} in a|e) w=$((w + 1)) ;; n|s) w=$((w + 2)) ;; i|m) w=$((w + 3)) ;; esac
  done
  echo "$w"
}
expected_file=$scratch/expected.ini
{
  sum=0 placed= count=0
  for entry in Ann:900 Bea:800 Cid:700 Dana:600 Emil:500 Finn:400 Gus:300 Hal:200 Ines:100 Nobody:0; do
    name=${entry%%:*} value=${entry##*:}
    if [ -z "$placed" ] && [ "$score" -ge "$value" ]; then
      printf 'Tessa~%05d~' "$score"
      sum=$((sum + score + $(weight Tessa))) placed=1 count=$((count + 1))
    fi
    [ "$count" -lt 10 ] || break
    printf '%-44s~%05d~' "$name" "$value"
    sum=$((sum + value + $(weight "$name"))) count=$((count + 1))
    [ "$count" -lt 10 ] || break
  done
  printf '%05d' $((sum - 90))
} >"$expected_file"
cmp "$play/HiScores.ini" "$expected_file" \
  || fail "HiScores.ini differs: $(od -c "$play/HiScores.ini" | head -20)"
echo "HiScores.ini: $(stat -c %s "$play/HiScores.ini") bytes as expected"

passed=1
echo "PASS: a game on $compositor from Start to the saved table, the menus and every dialog (title bars: $title_bars)"
