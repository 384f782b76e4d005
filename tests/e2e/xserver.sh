# Sourced by the end-to-end test and scripts/screenshot.sh: a private X server.

# until_ok <seconds> <command...>: runs the command every 0.1 s until it
# succeeds; fails when the time is up.
until_ok() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# start_xserver <scratch folder>: starts Xvfb on a display nobody else uses,
# guarded by a fresh cookie, and exports DISPLAY and XAUTHORITY; sets
# xvfb_pid. Xvfb picks the display and writes its number to fd 3. The server
# accepts the cookie whatever display the file names, so the file is made
# before the number is known and the clients' entry is added afterwards.
start_xserver() {
  local scratch=$1 cookie
  export XAUTHORITY=$scratch/Xauthority
  cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
  xauth -q -f "$XAUTHORITY" add :0 . "$cookie" 2>/dev/null
  Xvfb -displayfd 3 -auth "$XAUTHORITY" -nolisten tcp -screen 0 800x600x24 \
    3>"$scratch/display" >"$scratch/xvfb.log" 2>&1 &
  xvfb_pid=$!
  if ! until_ok 20 grep -qs '^[0-9]' "$scratch/display"; then
    echo "Xvfb did not start: $(cat "$scratch/xvfb.log")" >&2
    return 1
  fi
  export DISPLAY=:$(head -n1 "$scratch/display")
  xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie" 2>/dev/null
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
