#!/usr/bin/env bash
# The command line with no display at all: --help and --version print and
# exit 0 (1 when their output cannot be written), a bad option or a stray
# argument gets one line on stderr and exit status 2, and without an option
# the program ends with status 1 and its one-line message instead of
# starting.
#
# Usage: cmdline_test.sh <coilrunner> <version>
set -euo pipefail

program=$1
version=$2
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# run <args...>: sets rc, out and err. The timeout only bounds a program that
# wrongly started a window.
run() {
  rc=0
  timeout 60 "$program" "$@" >"$scratch/out" 2>"$scratch/err" || rc=$?
  out=$(cat "$scratch/out")
  err=$(cat "$scratch/err")
}

for help in --help -h -help; do
  run $help
  [ "$rc" = 0 ] || fail "$help exits $rc"
  [ -z "$err" ] || fail "$help writes to stderr: $err"
  [ "$(head -n 1 <<<"$out")" = "Usage: coilrunner [options]" ] || fail "$help prints: $out"
  grep -q -- '-h, --help' <<<"$out" && grep -q -- '-v, --version' <<<"$out" \
    || fail "$help does not list --help and --version: $out"
done

for option in --version -v; do
  run $option
  [ "$rc" = 0 ] || fail "$option exits $rc"
  [ -z "$err" ] || fail "$option writes to stderr: $err"
  [ "$(head -n 1 <<<"$out")" = "coilrunner $version" ] || fail "$option prints: $out"
done

# Output that cannot be written is an error, not a success: the buffered
# text meets the full device only when it is flushed.
for option in --help --version; do
  rc=0
  timeout 60 "$program" $option >/dev/full 2>"$scratch/err" || rc=$?
  err=$(cat "$scratch/err")
  [ "$rc" = 1 ] || fail "$option into a full device exits $rc, not 1"
  [[ $err == "coilrunner: "*"No space left on device" ]] || fail "$option into a full device says: $err"
done

# The toolkit's own options are accepted along with ours.
run -platform offscreen -style=fusion --version
[ "$rc" = 0 ] && [ "$(head -n 1 <<<"$out")" = "coilrunner $version" ] \
  || fail "-platform offscreen -style=fusion --version: exit $rc, $out$err"

# A bad command line: status 2, nothing on stdout, one line naming the fault.
while IFS='|' read -r args named; do
  read -ra argv <<<"$args"
  run "${argv[@]}"
  [ "$rc" = 2 ] || fail "'$args' exits $rc, not 2"
  [ -z "$out" ] || fail "'$args' writes to stdout: $out"
  [ "$(wc -l <"$scratch/err")" = 1 ] || fail "'$args' writes $(wc -l <"$scratch/err") lines to stderr: $err"
  [[ $err == "coilrunner: "*"$named"* ]] || fail "'$args' says '$err', which does not name '$named'"
done <<'EOF'
--bogus|'bogus'
-x|'x'
--help --bogus|'bogus'
--version=3|'--version'
-platform|'-platform'
HiScores.ini|'HiScores.ini'
EOF

# No option and no display: status 1 and one line, not a crash of the toolkit.
run
[ "$rc" = 1 ] || fail "with no display the program exits $rc, not 1"
[ "$(wc -l <"$scratch/err")" = 1 ] && [[ $err == "coilrunner: "* ]] \
  || fail "with no display the program says: $err"

[ "$failures" = 0 ] || exit 1
echo "PASS: --help, --version, bad options and no display, all without a display"
