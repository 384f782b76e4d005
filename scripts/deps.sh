#!/usr/bin/env bash
# Installs the Debian packages the project needs, only those missing.
# Usage: scripts/deps.sh [build|test]
set -euo pipefail

packages=(cmake g++ ninja-build pkg-config qt6-base-dev libcanberra-dev
          fonts-dejavu-core fonts-dejavu-extra
          libxkbcommon-dev libxkbcommon-x11-dev libwayland-dev libxcb1-dev qt6-base-private-dev)
# xdg-shell's description, which the modal-dialog glue refers to
packages+=(wayland-protocols)
if [ "${1:-build}" = test ]; then
  packages+=(libgtest-dev libbenchmark-dev clang libclang-rt-14-dev
             xvfb xauth xdotool imagemagick x11-utils desktop-file-utils appstream
             libx11-dev dpkg-dev lintian man-db weston qt6-wayland
             xkb-data x11-xkb-utils libxtst-dev sway grim
             locales libc-l10n
             pulseaudio pulseaudio-utils libcanberra-pulse librsvg2-bin
             dbus-daemon dbus-bin at-spi2-core python3-pyatspi
             qt6ct qt6-gtk-platformtheme
             python3  # the fake display servers of silent_display_test.sh
             util-linux  # prlimit, the memory bound of absurd_scale_test.sh
             )
  # gio launch, which starts the installed menu entry as a desktop does.
  packages+=(libglib2.0-bin)
  # GNOME's compositor headless, its screen cast through PipeWire (the remote tool's library)
  packages+=(mutter pipewire wireplumber libpipewire-0.3-dev)
  # The desktop's settings portal with its GTK back end, for the caption bar on GNOME
  packages+=(xdg-desktop-portal xdg-desktop-portal-gtk)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
# Another install running at the same time holds the package database; wait
# for it rather than fail.
lock=(-o DPkg::Lock::Timeout=600)
"${sudo[@]}" apt-get "${lock[@]}" update -qq
"${sudo[@]}" apt-get "${lock[@]}" install -y -qq --no-install-recommends "${missing[@]}"
