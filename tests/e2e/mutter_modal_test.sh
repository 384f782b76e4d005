#!/usr/bin/env bash
# Every dialog of the game on GNOME's compositor (mutter, headless, with the
# settings GNOME's session gives it: tests/e2e/mutter.sh): announced modal
# through the protocol, centred over the main window, and keeping the
# keyboard when the main window is clicked, so that Escape then closes it.
#
# coilrunner_modal_driver runs the real main window, opens About, Settings,
# the list, the F1 boxes, "Please enter an integer.", the game-over box, the
# name entry and the list, finds each in the compositor's picture, checks
# its place, and has the compositor's seat click the main window and press
# Escape. A second run starts the game on a tampered HiScores.ini, whose box
# comes before the main window: centred on the screen.
# This script then checks the protocol log of both runs (modal_protocol.awk):
# every window but the main one is transient for it (but the box of the
# start, which comes before it) and marked modal before its first picture
# reaches the compositor (gtk_surface1.set_modal, or xdg_dialog_v1.set_modal
# where announced), the main window is not, and the pointer that clicked
# stood on the main window.
#
# Usage: mutter_modal_test.sh <coilrunner_modal_driver> <coilrunner_mutter_remote>
set -euo pipefail

driver=$(realpath -m "$1")
remote=$(realpath -m "$2")

here=$(dirname "$(realpath "$0")")
. "$here/harness.sh"
. "$here/mutter.sh"
if [ -z "$(find /usr/lib /usr/lib64 -path '*/qt6/plugins/platforms/libqwayland-generic.so' -print -quit 2>/dev/null)" ]; then
  echo "SKIP: Qt's Wayland platform plugin is not installed (scripts/deps.sh test installs qt6-wayland)"
  exit 77
fi

begin_test driver_pid "${mutter_pids[@]}"
unset QT_QPA_PLATFORM QT_SCALE_FACTOR XDG_SESSION_TYPE XDG_CURRENT_DESKTOP
mutter_start "$remote" "$scratch/mutter"

run=
on_failure() {
  [ -n "$run" ] && { echo "--- the driver's errors:"; grep -v '^\[' "$scratch/$run.log" | tail -20; }
  echo "--- mutter:"; tail -20 "$scratch/mutter/mutter.log"
}

# run_driver <all|start>: the driver in the folder with the table, its
# protocol log in $scratch/<mode>.log.
run_driver() {
  run=$1
  (cd "$scratch/play" && WAYLAND_DEBUG=client QT_QPA_PLATFORM=wayland QT_IM_MODULE=none \
    exec timeout 540 "$driver" "$1" "$scratch/shots" "$remote" "$mutter_socket") \
    >"$scratch/$1.out" 2>"$scratch/$1.log" && rc=0 || rc=$?
  cat "$scratch/$1.out"
  [ "$rc" = 0 ] || fail "the driver ($1) ended with $rc"
}

# --- every dialog, over the main window ---------------------------------------------
# Rank 10 holds 0, so any final score is admitted and the name entry comes.
mkdir -p "$scratch/play" "$scratch/shots"
printf '%s' 'Ann~00900~Bea~00800~Cid~00700~Dana~00600~Emil~00500~Finn~00400~Gus~00300~Hal~00200~Ines~00100~Nobody~00000~04444' \
  >"$scratch/play/HiScores.ini"
run_driver all
awk -v expect=modal -v dialogs=9 -v pointer=1 -f "$here/modal_protocol.awk" "$scratch/all.log" || fail "what the compositor was told, above"
echo "nine dialogs: transient for the main window, modal before they showed, clicked past, closed with Escape"

# --- the box of the start, before the main window ----------------------------------
printf '%s' 'Ann~00900~Bea~00800~Cid~00700~Dana~00600~Emil~00500~Finn~00400~Gus~00300~Hal~00200~Ines~00100~Nobody~00000~04443' \
  >"$scratch/play/HiScores.ini"
run_driver start
awk -v expect=modal -v dialogs=1 -v main_index=2 -f "$here/modal_protocol.awk" "$scratch/start.log" || fail "what the compositor was told of the box of the start, above"
echo "the box of the start: modal before it showed, centred on the screen"

passed=1
echo "PASS: every dialog on mutter modal for the compositor, centred, and keeping the keyboard"
