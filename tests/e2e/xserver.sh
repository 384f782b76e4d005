# Sourced by the end-to-end test and scripts/screenshot.sh: a private X server.

. "$(dirname "${BASH_SOURCE[0]}")/harness.sh"   # until_ok

# start_xserver <scratch folder> [resets]: starts Xvfb on a display nobody else uses,
# guarded by a fresh cookie, and exports DISPLAY and XAUTHORITY; sets
# xvfb_pid. Xvfb picks the display and writes its number to fd 3, so the
# number is unknown beforehand: the cookie goes into the file as one entry
# for every display (family and display number left open), which the server
# and its clients both read, and the file never changes afterwards.
# -noreset: the server does not start over (and re-read its cookies) each
# time its last client leaves, so a program connecting just then is not
# turned away. With "resets" it does, as under xvfb-run. The screen is
# 800x600 unless XVFB_SCREEN gives another size (1600x1200x24).
start_xserver() {
  local scratch=$1 cookie name reset=-noreset
  [ "${2:-}" = resets ] && reset=
  export XAUTHORITY=$scratch/Xauthority
  cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
  name=$(printf 'MIT-MAGIC-COOKIE-1' | od -An -tx1 | tr -d ' \n')
  echo "ffff 0000  0000  0012 $name 0010 $cookie" | xauth -q -f "$XAUTHORITY" nmerge - 2>/dev/null
  Xvfb -displayfd 3 -auth "$XAUTHORITY" $reset -nolisten tcp -screen 0 "${XVFB_SCREEN:-800x600x24}" \
    3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
  xvfb_pid=$!
  if ! until_ok 20 grep -qs '^[0-9]' "$scratch/display"; then
    echo "Xvfb did not start: $(cat "$scratch/xvfb.log")" >&2
    return 1
  fi
  export DISPLAY=:$(head -n1 "$scratch/display")
  if ! until_ok 10 xwininfo -root >/dev/null 2>&1; then
    echo "cannot reach the X server on $DISPLAY" >&2
    return 1
  fi
}

# Visible windows with exactly this title, one id per line.
windows_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true; }

# one_window <variable> <title>: sets the variable to the id of the only
# visible window with this title; fails while there is none or several.
one_window() {
  local ids
  ids=$(windows_named "$2")
  [ "$(echo "$ids" | grep -c .)" = 1 ] || return 1
  printf -v "$1" '%s' "$ids"
}
