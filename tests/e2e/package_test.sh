#!/usr/bin/env bash
# Builds the Debian package from the build folder, as the README shows, and
# checks it as Debian does: lintian finds no error and no warning; the game is
# /usr/games/coilrunner and the menu entry starts it there, with startup
# notification; what it depends on and recommends; the version, the
# changelog and the copyright agree with the repository's own, and the web
# address with the build's.
#
# Usage: package_test.sh <cpack> <build folder> <app id> <sanitized build: 1 or 0>
set -euo pipefail

cpack=$1
build=$2
app_id=$3
sanitized=$4
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

if [ "$sanitized" = 1 ]; then
  echo "SKIP: the sanitized build makes no package (its program needs the sanitizer runtime); the normal build's run checks it"
  exit 77
fi

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/launcher.sh"

# No skip for a missing tool: ./test.sh installs them all (scripts/deps.sh test).
for tool in dpkg-deb dpkg-shlibdeps dpkg-parsechangelog lintian; do
  command -v "$tool" >/dev/null || fail "$tool is not installed (scripts/deps.sh test installs it)"
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$cpack" --config "$build/CPackConfig.cmake" -B "$scratch/out" >"$scratch/cpack.log" 2>&1 \
  || { cat "$scratch/cpack.log"; fail "cpack"; }
debs=("$scratch"/out/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "not one .deb from cpack: ${debs[*]}"
deb=${debs[0]}
echo "== dpkg-deb -c $(basename "$deb")"
dpkg-deb -c "$deb"

# Lintian's verdict first: errors and warnings fail, the rest is shown.
echo "== lintian"
lintian --fail-on error,warning --info --pedantic "$deb" >"$scratch/lintian.log" 2>&1 && rc=0 || rc=$?
grep -v '^running with root privileges' "$scratch/lintian.log" || true
[ "$rc" = 0 ] || fail "lintian exits $rc"
if grep -q '^[EW]: ' "$scratch/lintian.log"; then fail "lintian reports errors or warnings"; fi

root=$scratch/root
dpkg-deb -x "$deb" "$root"
[ ! -e "$root/usr/bin" ] || fail "the package has usr/bin: $(ls "$root/usr/bin")"
check_launcher "$root" "$root/usr/share/applications/$app_id.desktop" /usr/games/coilrunner

# What it needs: the libraries it links (from dpkg-shlibdeps, libcanberra0
# among them, which brings the sound theme) and the dialog font; what it
# recommends: the Wayland plugin and the path of the event sounds to a sound
# server. Nothing that another entry brings already.
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"
field_has() { tr ',' '\n' <<<"$1" | sed 's/^ *//; s/ .*//' | grep -qx "$2"; }
for p in libcanberra0 libqt6widgets6 fonts-dejavu-extra; do
  field_has "$depends" "$p" || fail "Depends lacks $p"
done
for p in qt6-wayland libcanberra-pulse; do
  field_has "$recommends" "$p" || fail "Recommends lacks $p"
done
for p in fonts-dejavu-core sound-theme-freedesktop; do
  if field_has "$depends" "$p" || field_has "$recommends" "$p"; then
    fail "$p is named, though it comes with fonts-dejavu-extra or libcanberra0"
  fi
done

# One version: project() in CMakeLists.txt, the package, the changelog's
# newest entry and the program's --version.
version=$(dpkg-deb -f "$deb" Version)
changelog_version=$(dpkg-parsechangelog -l "$source_dir/packaging/changelog" -S Version)
[ "$version" = "$changelog_version" ] \
  || fail "the package is version $version, the changelog's newest entry $changelog_version"
program_version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM timeout 60 "$root/usr/games/coilrunner" --version | head -n 1)
[ "$program_version" = "coilrunner $version" ] || fail "--version prints '$program_version', the package is $version"
[ "$(dpkg-deb -f "$deb" Section)" = games ] || fail "the section is not games"

# One web address: the build's setting is the package's Homepage, the
# metainfo's homepage and the address the program opens.
homepage=$(sed -n 's/^COILRUNNER_HOMEPAGE:STRING=//p' "$build/CMakeCache.txt")
[ -n "$homepage" ] && [ "$(dpkg-deb -f "$deb" Homepage)" = "$homepage" ] \
  || fail "the package's Homepage is '$(dpkg-deb -f "$deb" Homepage)', the build's COILRUNNER_HOMEPAGE '$homepage'"
grep -qF "<url type=\"homepage\">${homepage//&/&amp;}</url>" "$root/usr/share/metainfo/$app_id.metainfo.xml" \
  || fail "the metainfo's homepage is not $homepage"
grep -qaF "$homepage" "$root/usr/games/coilrunner" || fail "the program does not open $homepage"

doc=$root/usr/share/doc/coilrunner
cmp -s <(gzip -dc "$doc/changelog.gz") "$source_dir/packaging/changelog" \
  || fail "changelog.gz is not packaging/changelog"
# The copyright file's licence paragraph (the last "License: Expat" and the
# lines below it) holds LICENSE's text below its title and copyright lines.
start=$(grep -n '^License: Expat$' "$doc/copyright" | tail -n 1 | cut -d: -f1)
tail -n +$((start + 1)) "$doc/copyright" | sed 's/^ //; s/^\.$//' >"$scratch/licence.txt"
cmp -s "$scratch/licence.txt" <(tail -n +5 "$source_dir/LICENSE") \
  || fail "the licence text in the copyright file differs from LICENSE: $(diff "$scratch/licence.txt" <(tail -n +5 "$source_dir/LICENSE"))"

echo "PASS: $(basename "$deb") is lintian-clean, installs the game as /usr/games/coilrunner and starts it from the menu"
