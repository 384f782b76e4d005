#!/usr/bin/env bash
# Installs the build into a scratch prefix (with a space in its name) and
# checks what a desktop sees: the .desktop file and the AppStream metainfo
# pass their validators, they name each other and the icon, the menu entry
# starts the program where it went, the manual page and the documents are in
# place, and every icon size, the scalable one too, is the same picture: the
# 32 px art enlarged by a whole factor (no smoothed pixel) where the size is a
# multiple of 32, resampled by area elsewhere.
#
# Usage: install_test.sh <build folder> <app id>
set -euo pipefail

build=$1
app_id=$2

for tool in desktop-file-validate appstreamcli convert compare identify rsvg-convert; do
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
appstreamcli validate --no-net --pedantic "$metainfo" || fail "appstreamcli validate --pedantic"
# The release says what the game is and does.
sed -n '/<release /,/<\/release>/p' "$metainfo" | grep -q '<description>' \
  || fail "the release entry has no description"

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

# Each enlargement equals the 32 px art with every pixel repeated; a smoothed
# or resampled picture differs in its edge pixels.
same_as_enlarged() {  # <size> <picture> <factor>
  local differing
  convert "$2" -scale "$(($3 * 100))%" "$scratch/expected.png"
  differing=$(compare -metric AE "$(icon "$1")" "$scratch/expected.png" null: 2>&1) || true
  [ "$differing" = 0 ] || fail "the $1 px icon is not $2 enlarged $3 times ($differing pixels differ)"
}
same_as_enlarged 64 "$(icon 32)" 2
same_as_enlarged 128 "$(icon 32)" 4
same_as_enlarged 256 "$(icon 32)" 8

# The sizes between are the same picture made smaller or larger: each pixel
# the area average of the 256 px one (ImageMagick's -scale), up to rounding.
# Another drawing, even of the same subject, is far off.
close_to() {  # <picture> <reference> <largest root mean square difference, 0 to 1> <what>
  local rmse
  rmse=$(compare -metric RMSE "$1" "$2" null: 2>&1 | sed -n 's/.*(\(.*\)).*/\1/p') || true
  [ -n "$rmse" ] || fail "$4: cannot compare $1 with $2"
  awk -v got="$rmse" -v most="$3" 'BEGIN { exit !(got <= most) }' \
    || fail "$4: differs from the reference by $rmse (root mean square), more than $3"
}
for size in 16 48; do
  convert "$(icon 256)" -scale "${size}x${size}" "$scratch/area$size.png"
  close_to "$(icon "$size")" "$scratch/area$size.png" 0.01 "the $size px icon"
done

# The art's few flat colours and nothing in between.
colours=$(convert "$(icon 256)" -format '%k' info:)
[ "$colours" -le 6 ] || fail "the 256 px icon has $colours colours; smoothing adds blends"

# The scalable icon renders as the desktop renders it (librsvg), to the art
# itself at 32 px and its multiples, and to the resampled picture elsewhere
# (its edges meet on the art's pixel grid, which 48 px splits; the renderer
# blends each edge on its own, so a little more than rounding differs).
svg=$root/share/icons/hicolor/scalable/apps/$app_id.svg
[ -f "$svg" ] || fail "missing the scalable icon $svg"
for size in 32 256; do
  rsvg-convert -w "$size" -h "$size" "$svg" -o "$scratch/svg$size.png" 2>"$scratch/rsvg.log" \
    || fail "the scalable icon does not render at $size px: $(cat "$scratch/rsvg.log")"
  differing=$(compare -metric AE "$(icon "$size")" "$scratch/svg$size.png" null: 2>&1) || true
  [ "$differing" = 0 ] || fail "the scalable icon at $size px is not the $size px icon ($differing pixels differ)"
done
rsvg-convert -w 48 -h 48 "$svg" -o "$scratch/svg48.png" || fail "the scalable icon does not render at 48 px"
close_to "$scratch/svg48.png" "$(icon 48)" 0.06 "the scalable icon at 48 px"

echo "PASS: installed files validate; the icons at 16 32 48 64 128 256 px and the scalable one are one picture"
