# Sourced by the desktop tests: the start and end every one of them shares.

# until_ok <seconds> <command...>: runs the command every 0.1 s until it
# succeeds; fails when the time is up. The bound is for a hang, not a
# measure of speed.
until_ok() {
  local deadline=$((SECONDS + $1)); shift
  until "$@"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    sleep 0.1
  done
}

# repeat_until <seconds> <check> <input command...>: an input that comes
# before the window takes it is lost, so it is given again, every few
# seconds, until the check sees what it does; the overall bound is for a
# hang only.
repeat_until() {
  local deadline=$((SECONDS + $1)) check=$2; shift 2
  until "$check"; do
    [ "$SECONDS" -lt "$deadline" ] || return 1
    "$@" 2>/dev/null || true
    until_ok 3 "$check" && return 0
  done
}

# need_tools <tool...>: the test skips (exit 77) when a tool is missing.
need_tools() {
  local tool
  for tool in "$@"; do
    if ! command -v "$tool" >/dev/null; then
      echo "SKIP: $tool is not installed (scripts/deps.sh test installs it)"
      exit 77
    fi
  done
}

# begin_test <pid variable...>: makes the scratch folder $scratch and clears
# the variables. On exit the processes whose ids they then hold are stopped,
# and the folder is removed once the test has set passed=1, else kept for
# inspection.
begin_test() {
  scratch=$(mktemp -d)
  passed=
  stop_on_exit=("$@")
  local name
  for name in "$@"; do printf -v "$name" '%s' ''; done
  trap end_test EXIT
}

# process_ended <pid>: the process is gone, or has ended and waits to be reaped.
process_ended() {
  local state
  state=$(sed 's/.*) //' "/proc/$1/stat" 2>/dev/null | cut -d' ' -f1)
  [ -z "$state" ] || [ "$state" = Z ]
}

end_test() {
  local name
  for name in "${stop_on_exit[@]}"; do
    [ -n "${!name}" ] && kill "${!name}" 2>/dev/null || true
  done
  # One that has not ended 10 s after the request is killed outright, so
  # that the wait for them all has a bound.
  for name in "${stop_on_exit[@]}"; do
    [ -n "${!name}" ] || continue
    until_ok 10 process_ended "${!name}" && continue
    echo "$name (${!name}) did not end within 10 s of the request: killed"
    kill -KILL "${!name}" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  if [ -n "$passed" ]; then rm -rf "$scratch"; else echo "kept for inspection: $scratch"; fi
}

# fail <message>: ends the test; a test's own on_failure runs first.
fail() {
  echo "FAIL: $*"
  if declare -F on_failure >/dev/null; then on_failure || true; fi
  exit 1
}
