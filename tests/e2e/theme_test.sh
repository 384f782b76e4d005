#!/usr/bin/env bash
# The game's windows under the platform themes of the players' desktops, on a
# private X server. coilrunner_theme_driver opens every window (the main
# window before and during a game, its menus, the window menu, every dialog
# and message box) and records its picture and a report of its size and of
# every control's geometry and text; the driver itself fails a run where a
# text is cut, the menu bar folds File or Help away, or a control is not in
# the dialog font. Each themed run is compared with a run without a theme in
# the same widget style:
#   qt6ct, 12-point DejaVu Serif, Fusion          pictures and report
#   qt6ct, only a style chosen (Windows)          pictures and report
#   qt6ct, the same serif face and a dark colour  report (the colours follow
#     scheme                                        the theme: the pictures
#                                                   must differ)
#   GTK theme, gtk-font-name "DejaVu Serif 12"    report (its icon theme
#                                                   draws the boxes' icons)
# Every theme must really be in force: the driver prints the font the desktop
# gave before the game set its own, and the style.
#
# Usage: theme_test.sh <coilrunner_theme_driver>
set -euo pipefail

driver=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
. "$here/xserver.sh"
need_tools Xvfb xauth xwininfo compare
plugins=$("$driver" --plugins)
for plugin in libqt6ct.so libqgtk3.so; do
  if [ ! -e "$plugins/platformthemes/$plugin" ]; then
    echo "SKIP: no platform theme $plugins/platformthemes/$plugin (qt6ct, qt6-gtk-platformtheme: scripts/deps.sh test)"
    exit 77
  fi
done
begin_test xvfb_pid
start_xserver "$scratch" || fail "no X server"
export QT_QPA_PLATFORM=xcb NO_AT_BRIDGE=1
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

# Nothing of the desktop this test runs on may reach the runs.
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS QT_FONT_DPI \
      QT_SCALE_FACTOR_ROUNDING_POLICY QT_ENABLE_HIGHDPI_SCALING XDG_CURRENT_DESKTOP DESKTOP_SESSION \
      KDE_FULL_SESSION GNOME_DESKTOP_SESSION_ID GDK_SCALE GDK_DPI_SCALE GTK_THEME WAYLAND_DISPLAY

# config <name>: an XDG_CONFIG_HOME of the run's own, on stdin the files
# as "path<TAB>line".
config() {
  local dir=$scratch/config-$1 path line
  mkdir -p "$dir"
  while IFS=$'\t' read -r path line; do
    mkdir -p "$(dirname "$dir/$path")"
    printf '%s\n' "$line" >>"$dir/$path"
  done
}

# run <name> [VARIABLE=value...]: the driver in a folder of its own.
run() {
  local name=$1; shift
  mkdir -p "$scratch/$name" "$scratch/play-$name" "$scratch/config-$name"
  (cd "$scratch/play-$name" && exec env XDG_CONFIG_HOME="$scratch/config-$name" \
     XDG_CACHE_HOME="$scratch/cache-$name" "$@" timeout 300 "$driver" "$scratch/$name") \
    >"$scratch/$name.log" 2>&1 \
    || fail "the windows under \"$name\" are not as they must be:
$(cat "$scratch/$name.log")"
}

# in_force <name> <what the driver printed...>
in_force() {
  local name=$1 line; shift
  for line in "$@"; do
    grep -qxF "$line" "$scratch/$name.log" \
      || fail "\"$name\" was not in force: no \"$line\" in $(grep -E '^(desktop font|style):' "$scratch/$name.log" | tr '\n' ' ')"
  done
}

same_report() {
  diff -u "$scratch/$1/report.txt" "$scratch/$2/report.txt" >"$scratch/$2.diff" \
    || fail "under \"$2\" the windows differ from \"$1\": $(cat "$scratch/$2.diff")"
}

# same_pictures <reference> <name>: every picture identical, pixel for pixel.
same_pictures() {
  local picture name differ
  for picture in "$scratch/$1"/*.png; do
    name=$(basename "$picture")
    [ -e "$scratch/$2/$name" ] || fail "\"$2\" has no picture $name"
    differ=$(compare -metric AE "$picture" "$scratch/$2/$name" "$scratch/$2-diff-$name" 2>&1) || true
    [ "$differ" = 0 ] || fail "$name under \"$2\" differs from \"$1\" in $differ pixels (see $scratch/$2-diff-$name)"
  done
}

serif='"DejaVu Serif,12,-1,5,400,0,0,0,0,0,0,0,0,0,0,1"'

# --- the references: no theme, each style --------------------------------------
run plain-fusion QT_STYLE_OVERRIDE=Fusion
run plain-windows QT_STYLE_OVERRIDE=Windows
in_force plain-windows "style: windows"

# --- qt6ct with a 12-point serif face --------------------------------------------
config qt6ct-serif <<EOF
qt6ct/qt6ct.conf	[Appearance]
qt6ct/qt6ct.conf	style=Fusion
qt6ct/qt6ct.conf	custom_palette=false
qt6ct/qt6ct.conf	[Fonts]
qt6ct/qt6ct.conf	general=$serif
qt6ct/qt6ct.conf	fixed=$serif
EOF
run qt6ct-serif QT_QPA_PLATFORMTHEME=qt6ct
in_force qt6ct-serif "desktop font: DejaVu Serif 12" "style: fusion"
same_report plain-fusion qt6ct-serif
same_pictures plain-fusion qt6ct-serif
echo "qt6ct, DejaVu Serif 12: every window as without a theme"

# --- qt6ct as it is set up by default, with only a style chosen ------------------
config qt6ct-style <<'EOF'
qt6ct/qt6ct.conf	[Appearance]
qt6ct/qt6ct.conf	style=Windows
EOF
run qt6ct-style QT_QPA_PLATFORMTHEME=qt6ct
in_force qt6ct-style "style: windows"
grep -q '^desktop font: .* 12$' "$scratch/qt6ct-style.log" \
  || fail "qt6ct gave no font of its own: $(grep '^desktop font' "$scratch/qt6ct-style.log")"
same_report plain-windows qt6ct-style
same_pictures plain-windows qt6ct-style
echo "qt6ct, only the style chosen: every window as without a theme"

# --- qt6ct with a colour scheme: the colours follow it, nothing else ------------
scheme=/usr/share/qt6ct/colors/darker.conf
if [ -e "$scheme" ]; then
  config qt6ct-colours <<EOF
qt6ct/qt6ct.conf	[Appearance]
qt6ct/qt6ct.conf	style=Fusion
qt6ct/qt6ct.conf	custom_palette=true
qt6ct/qt6ct.conf	color_scheme_path=$scheme
qt6ct/qt6ct.conf	[Fonts]
qt6ct/qt6ct.conf	general=$serif
EOF
  run qt6ct-colours QT_QPA_PLATFORMTHEME=qt6ct
  in_force qt6ct-colours "desktop font: DejaVu Serif 12" "style: fusion"
  same_report plain-fusion qt6ct-colours
  differ=$(compare -metric AE "$scratch/plain-fusion/02-quillware-coilrunner.png" \
             "$scratch/qt6ct-colours/02-quillware-coilrunner.png" null: 2>&1) || true
  [ "$differ" != 0 ] || fail "the main window did not take the colours of qt6ct's scheme"
  echo "qt6ct with a colour scheme: the same windows in its colours"
fi

# --- the GTK theme with a font setting ---------------------------------------------
config gtk <<'EOF'
gtk-3.0/settings.ini	[Settings]
gtk-3.0/settings.ini	gtk-font-name=DejaVu Serif 12
EOF
run gtk QT_QPA_PLATFORMTHEME=gtk3
in_force gtk "desktop font: DejaVu Serif 12"
style=$(sed -n 's/^style: //p' "$scratch/gtk.log")
[ "$style" = fusion ] || run "plain-$style" QT_STYLE_OVERRIDE="$style"
same_report "plain-$style" gtk
echo "GTK theme, DejaVu Serif 12: every window's geometry and texts as without a theme"

passed=1
echo "PASS: the windows keep their layout and font under qt6ct and the GTK theme"
