#!/usr/bin/env bash
# The maker's web address is one build setting: a build configured with
# another address (one with & and other characters that need care in C, in a
# control field and in XML) puts it in the program's "Go to Quillware
# website" (the compiled string), in the metainfo's homepage, which still
# validates, and in the package's Homepage field; an address that could not
# go into all three as it is stops the configuration with a message.
#
# Usage: homepage_test.sh <cmake> <source folder>
set -euo pipefail

cmake=$1
source_dir=$2
address="https://games.example.org/coilrunner/?from=menu&lang=en-GB;v=2#top"
xml_address="https://games.example.org/coilrunner/?from=menu&amp;lang=en-GB;v=2#top"

fail() { echo "FAIL: $*"; exit 1; }
command -v ninja >/dev/null || fail "ninja is not installed (scripts/deps.sh installs ninja-build)"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
build=$scratch/build

"$cmake" -S "$source_dir" -B "$build" -G Ninja -DCOILRUNNER_TESTS=OFF -DCOILRUNNER_BENCH=OFF \
  "-DCOILRUNNER_HOMEPAGE=$address" >"$scratch/configure.log" 2>&1 \
  || { cat "$scratch/configure.log"; fail "the configuration with COILRUNNER_HOMEPAGE=$address failed"; }

metainfo=$build/net.quillware.Coilrunner.metainfo.xml
grep -qxF "  <url type=\"homepage\">$xml_address</url>" "$metainfo" \
  || fail "the metainfo's homepage is: $(grep 'type="homepage"' "$metainfo")"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$metainfo" >"$scratch/validate.log" 2>&1 \
    || { cat "$scratch/validate.log"; fail "the metainfo with that address does not validate"; }
fi
grep -qxF "set(CPACK_DEBIAN_PACKAGE_HOMEPAGE \"$address\")" "$build/CPackConfig.cmake" \
  || fail "the package's homepage is: $(grep HOMEPAGE "$build/CPackConfig.cmake")"

# The string the game opens, as the compiler made it.
"$cmake" --build "$build" --target CMakeFiles/coilcore.dir/res/Strings.cpp.o >"$scratch/build.log" 2>&1 \
  || { cat "$scratch/build.log"; fail "res/Strings.cpp does not compile with that address"; }
grep -qaF "$address" "$build/CMakeFiles/coilcore.dir/res/Strings.cpp.o" \
  || fail "the compiled web address is not $address"
if grep -qaF "https://www.example.com/" "$build/CMakeFiles/coilcore.dir/res/Strings.cpp.o"; then
  fail "the default address is still compiled in"
fi

# Addresses that would need escaping somewhere.
for bad in 'https://example.org/a"b' 'https://example.org/a\b' 'https://example.org/a b' 'https://example.org/<b>' 'ftp://example.org/' 'example.org'; do
  if "$cmake" -S "$source_dir" -B "$build" "-DCOILRUNNER_HOMEPAGE=$bad" >"$scratch/bad.log" 2>&1; then
    fail "COILRUNNER_HOMEPAGE=$bad was accepted"
  fi
  grep -q "COILRUNNER_HOMEPAGE must be" "$scratch/bad.log" || { cat "$scratch/bad.log"; fail "no clear message for $bad"; }
done

echo "PASS: COILRUNNER_HOMEPAGE=$address reaches the program, the metainfo and the package"
