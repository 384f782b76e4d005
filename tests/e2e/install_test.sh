#!/usr/bin/env bash
# Installs the build into a scratch prefix (with a space in its name) and
# checks what a desktop sees: the .desktop file and the AppStream metainfo
# pass their validators, they name each other and the icon, the menu entry
# starts the program where it went, the manual page and the documents are in
# place, and every icon size is an exact whole-factor enlargement of its art
# (no smoothed pixel anywhere).
#
# Usage: install_test.sh <build folder> <app id>
set -euo pipefail

build=$1
app_id=$2

for tool in desktop-file-validate appstreamcli convert compare identify; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (scripts/deps.sh test installs it)"
    exit 77
  fi
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*"; exit 1; }
source "$(dirname "$0")/launcher.sh"

root="$scratch/my games"
cmake --install "$build" --prefix "$root" >"$scratch/install.log" \
  || { cat "$scratch/install.log"; fail "cmake --install"; }

[ -x "$root/bin/coilrunner" ] || fail "the program is not installed at bin/coilrunner"
for file in share/man/man6/coilrunner.6.gz share/doc/coilrunner/copyright share/doc/coilrunner/changelog.gz; do
  [ -f "$root/$file" ] || fail "missing $file"
done

desktop=$root/share/applications/$app_id.desktop
metainfo=$root/share/metainfo/$app_id.metainfo.xml
[ -f "$desktop" ] || fail "missing $desktop"
[ -f "$metainfo" ] || fail "missing $metainfo"

# desktop-file-validate prints warnings with a zero exit; both count.
out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[ -z "$out" ] || fail "desktop-file-validate: $out"
appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"

entry() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(entry Name)" = "Quillware Coilrunner" ] || fail "Name is '$(entry Name)'"
[ "$(entry Icon)" = "$app_id" ] || fail "Icon is '$(entry Icon)', not the app id"
[ "$(entry Categories)" = "Game;ArcadeGame;" ] || fail "Categories are '$(entry Categories)'"
[ -n "$(entry Keywords)" ] || fail "no Keywords"
check_launcher "" "$desktop" "$root/bin/coilrunner"
grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" \
  || fail "the metainfo does not launch $app_id.desktop"
grep -q '<screenshot type="default">' "$metainfo" || fail "the metainfo has no screenshot"

icon() { echo "$root/share/icons/hicolor/$1x$1/apps/$app_id.png"; }
for size in 16 32 48 64 128 256; do
  [ -f "$(icon "$size")" ] || fail "missing the $size px icon"
  got=$(identify -format '%wx%h' "$(icon "$size")")
  [ "$got" = "${size}x${size}" ] || fail "the $size px icon is $got"
done

# Each enlargement equals its source with every pixel repeated; a smoothed
# or resampled picture differs in its edge pixels.
same_as_enlarged() {  # <size> <source size> <factor>
  local differing
  convert "$(icon "$2")" -scale "$(($3 * 100))%" "$scratch/expected.png"
  differing=$(compare -metric AE "$(icon "$1")" "$scratch/expected.png" null: 2>&1) || true
  [ "$differing" = 0 ] || fail "the $1 px icon is not the $2 px one enlarged $3 times ($differing pixels differ)"
}
same_as_enlarged 64 32 2
same_as_enlarged 128 32 4
same_as_enlarged 256 32 8
same_as_enlarged 48 16 3

# The art's few flat colours and nothing in between.
colours=$(convert "$(icon 256)" -format '%k' info:)
[ "$colours" -le 6 ] || fail "the 256 px icon has $colours colours; smoothing adds blends"

echo "PASS: installed files validate; icons at 16 32 48 64 128 256 px are crisp"
