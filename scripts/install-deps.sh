#!/usr/bin/env bash
# Installs every Debian package the client, its tests and the demo need.
# With --if-needed it does nothing when all of them are installed already.
set -euo pipefail
packages=(
  cmake g++ make pkg-config ca-certificates curl
  qt6-base-dev qt6-declarative-dev qt6-webengine-dev libqt6webenginecore6-bin qt6-base-dev-tools
  libgl-dev libcurl4-openssl-dev libjsoncpp-dev libgtest-dev libgmock-dev libcpp-httplib-dev libsecret-1-dev libglib2.0-dev zlib1g-dev
  qt6-translations-l10n
  xvfb weston xwayland xserver-xorg-core xserver-xorg-video-dummy xauth openbox xdotool x11-utils x11-xserver-utils wmctrl fonts-wqy-microhei openssl iproute2 util-linux mount clang
  poppler-utils procps gdb dconf-cli dconf-gsettings-backend gsettings-desktop-schemas strace python3 gnome-keyring libsecret-tools at-spi2-core python3-pyatspi
  dpkg-dev file pkexec polkitd dbus xdg-utils desktop-file-utils debootstrap
  libsofia-sip-ua-dev kamailio kamailio-presence-modules baresip-core
  dunst squid libnss3-tools mutter fcitx5 fcitx5-chinese-addons fcitx5-frontend-qt6 ibus ibus-libpinyin fonts-noto-cjk qt6-wayland orca speech-dispatcher
)
# Debian 13's qt6-base-dev carries Qt OpenGL's development files itself, and
# its libproxy has built in the plug-ins that Debian 12's gnome-core installs
# beside it: the proxy test runs on that desk.
if [ "$(. /etc/os-release && echo "${VERSION_ID:-}")" = 12 ]; then
  packages+=(libqt6opengl6-dev libproxy1-plugin-gsettings libproxy1-plugin-webkit)
fi
if [ "${1:-}" = "--if-needed" ] && dpkg -s "${packages[@]}" >/dev/null 2>&1; then
  exit 0
fi
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${packages[@]}"
