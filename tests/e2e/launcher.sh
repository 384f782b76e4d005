# Sourced by the install and package tests. Needs a fail function.
#
# check_launcher <root> <desktop file> <program path>: the menu entry's Exec
# and TryExec name the program by its full path (as the installed system sees
# it; the tree itself may lie under <root>), Exec with the option that runs it
# in the player's data folder, and that program runs; the entry asks for
# startup notification, which the program answers (startup_test.sh on X,
# activation_test.sh on Wayland).
check_launcher() {
  local root=$1 desktop=$2 program=$3 exec tryexec
  exec=$(sed -n 's/^Exec=//p' "$desktop")
  tryexec=$(sed -n 's/^TryExec=//p' "$desktop")
  [[ $exec == *" --data-folder" ]] || fail "Exec '$exec' does not end in --data-folder"
  exec=${exec% --data-folder}
  # A path with a space in it stands in double quotes in Exec.
  if [[ $exec == \"*\" ]]; then exec=${exec:1:${#exec}-2}; fi
  [ "$exec" = "$program" ] || fail "Exec is '$exec', not '$program'"
  [ "$tryexec" = "$program" ] || fail "TryExec is '$tryexec', not '$program'"
  [ "$(sed -n 's/^StartupNotify=//p' "$desktop")" = true ] || fail "the menu entry has no StartupNotify=true"
  [ -f "$root$program" ] && [ -x "$root$program" ] || fail "no program at $root$program"
  env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 60 "$root$program" --version >/dev/null \
    || fail "$root$program --version fails"
}
