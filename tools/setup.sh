#!/bin/sh
# Installs the Debian packages the build, the program and the tests need.
# Only missing packages are installed; apt-get update runs first when any are.
set -e
PKGS="build-essential cmake pkg-config libsdl1.2-dev libsdl-mixer1.2-dev libgl-dev libgl1-mesa-dri libglx-mesa0
libegl-dev libgles-dev libegl1 libgles1 libegl-mesa0
liblodepng-dev libgtest-dev googletest xvfb xauth xdotool
clang libclang-rt-14-dev libx11-dev libxtst-dev liblqr-1-0-dev libpixman-1-dev
sox libsox-fmt-all libsdl1.2-compat desktop-file-utils lintian dpkg-dev pulseaudio pulseaudio-utils
crossbuild-essential-arm64 crossbuild-essential-armhf qemu-user
debootstrap bc pipewire pipewire-pulse wireplumber dbus"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "installing:$missing"
$SUDO apt-get update -qq
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
