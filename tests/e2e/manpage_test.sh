#!/usr/bin/env bash
# The manual page as installed renders with man without a single warning,
# carries the program's version, and describes every option --help lists.
#
# Usage: manpage_test.sh <coilrunner.6.gz> <coilrunner>
set -euo pipefail

page=$1
program=$2
export LC_ALL=C.UTF-8 MANWIDTH=80
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

fail() { echo "FAIL: $*"; exit 1; }
command -v man >/dev/null || fail "man is not installed (scripts/deps.sh test installs man-db)"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

man --warnings -l "$page" >"$scratch/page.txt" 2>"$scratch/warnings.txt" || fail "man -l exits $?"
[ ! -s "$scratch/warnings.txt" ] || fail "man --warnings: $(cat "$scratch/warnings.txt")"
[ "$(head -n 1 "$scratch/page.txt" | tr -s ' ')" = "COILRUNNER(6) Games COILRUNNER(6)" ] \
  || fail "the page's header is: $(head -n 1 "$scratch/page.txt")"

# The footer names the version that --version prints.
version=$(timeout 60 "$program" --version | head -n 1)
tail -n 1 "$scratch/page.txt" | grep -q "^$version " || fail "the footer $(tail -n 1 "$scratch/page.txt") is not of $version"

# Every long option of --help has its paragraph under OPTIONS.
options=$(sed -n '/^OPTIONS$/,/^[A-Z]/p' "$scratch/page.txt")
for option in $(timeout 60 "$program" --help | grep -o -- '--[a-z-]*'); do
  # Its own paragraph's tag: the option alone, or after its short form.
  grep -qE -- "^ *(-.*)?$option\b" <<<"$options" || fail "the page's OPTIONS do not describe $option"
done

echo "PASS: the manual page renders without warnings and describes $(tr '\n' ' ' <<<"$options" | grep -o -- '--[a-z-]*' | sort -u | tr '\n' ' ')"
