#!/usr/bin/env bash
# The eating sound on a real sound server: a PulseAudio server started for
# the test, with a sink that plays into nothing, must receive it as the
# desktop's alert sounds come: an event stream (role "event", so that the
# alert volume and "mute alerts" apply) with the event id dialog-warning,
# under the game's name and application id. The server logs every stream it
# creates with its properties. Without any sound server the sound goes
# nowhere, and nothing is printed.
# Every wait has a deadline; the server and the driver are stopped on exit.
#
# Usage: sound_test.sh <path to coilrunner_sound_driver>
set -euo pipefail

driver=$(realpath "$1")

here=$(dirname "$(realpath "$0")")
. "$here/harness.sh"
need_tools pulseaudio
if [ -z "$(find /usr/lib -path '*/libcanberra-0.30/libcanberra-pulse.so' -print -quit 2>/dev/null)" ]; then
  echo "SKIP: libcanberra-pulse is not installed (scripts/deps.sh test installs it)"
  exit 77
fi

begin_test server_pid driver_pid
unset PULSE_SERVER PULSE_COOKIE DISPLAY WAYLAND_DISPLAY
export HOME=$scratch/home XDG_RUNTIME_DIR=$scratch/runtime
mkdir -p "$HOME"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# No client of this test starts a server of its own.
printf 'autospawn = no\n' >"$scratch/client.conf"
export PULSE_CLIENTCONFIG=$scratch/client.conf

# --- no sound server: silence, and not a word ----------------------------------
run_silent() {  # <what>
  local rc=0
  timeout 120 "$driver" </dev/null >"$scratch/silent.out" 2>"$scratch/silent.err" || rc=$?
  [ "$rc" = 0 ] || fail "$1: the driver ended with $rc: $(cat "$scratch/silent.err")"
  grep -qx played "$scratch/silent.out" || fail "$1: the sound was not handed on"
  [ ! -s "$scratch/silent.err" ] || fail "$1: the sound printed: $(cat "$scratch/silent.err")"
}
run_silent "no sound server running"
PULSE_SERVER=unix:$scratch/gone.sock run_silent "a sound server that is gone"

# --- a PulseAudio server ----------------------------------------------------------
socket=$scratch/pulse.sock
pulseaudio -n -v --daemonize=no --exit-idle-time=-1 --use-pid-file=no --log-target=stderr \
  -L "module-null-sink sink_name=silent" \
  -L "module-native-protocol-unix socket=$socket auth-anonymous=1" >"$scratch/server.log" 2>&1 &
server_pid=$!
until_ok 30 grep -q 'Daemon startup complete' "$scratch/server.log" \
  || fail "the sound server did not start: $(tail "$scratch/server.log")"
export PULSE_SERVER=unix:$socket

mkfifo "$scratch/hold"
"$driver" <"$scratch/hold" >"$scratch/driver.out" 2>"$scratch/driver.err" &
driver_pid=$!
exec 3>"$scratch/hold"   # the driver stays until this closes
until_ok 60 grep -qs 'Created input' "$scratch/server.log" \
  || fail "no stream reached the server: $(cat "$scratch/driver.err")"
exec 3>&-
wait "$driver_pid" && rc=0 || rc=$?
driver_pid=
[ "$rc" = 0 ] || fail "the driver ended with $rc: $(cat "$scratch/driver.err")"
[ ! -s "$scratch/driver.err" ] || fail "the sound printed: $(cat "$scratch/driver.err")"

# The stream's properties, which the server lists under "Created input" (the
# only stream of this server, so every property line of a stream is one).
[ "$(grep -c 'Created input' "$scratch/server.log")" = 1 ] || fail "more than one stream for one sound"
sed -n 's/^.*sink-input\.c: *\([a-z_.]*\) = "\(.*\)"$/\1=\2/p' "$scratch/server.log" >"$scratch/stream"
for property in event.id=dialog-warning media.role=event "application.name=Quillware Coilrunner" \
                application.id=net.quillware.Coilrunner application.icon_name=net.quillware.Coilrunner; do
  grep -qxF "$property" "$scratch/stream" \
    || fail "the stream lacks $property; it has: $(tr '\n' ';' <"$scratch/stream")"
done

passed=1
echo "PASS: the eating sound reaches the sound server as the desktop's event sound dialog-warning, and is silent without one"
