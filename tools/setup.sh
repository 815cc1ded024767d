#!/bin/sh
# Installs the Debian packages the build, the program and the tests need.
# Only missing packages are installed; apt-get update runs first when any are.
# Usage: setup.sh [run|test]
#   run   what building and running the program needs (make run)
#   test  that and everything the tests, the sanitized, fuzz and cross builds,
#         the package checks and the benchmarks need (the default)
set -e
# Compiler, CMake, the framework's libraries and headers, and the GL drivers
# the window draws through (EGL and ES first, SDL's OpenGL context as the
# fallback; X11 for the window's handle). dpkg-dev gives dpkg-buildflags, the
# plain build's flags; libebur128 is the board maker's loudness meter.
RUN_PKGS="build-essential cmake pkg-config dpkg-dev libsdl1.2-dev libsdl-mixer1.2-dev
libgl-dev libgl1-mesa-dri libglx-mesa0 libegl-dev libgles-dev libegl1 libgles1 libegl-mesa0
liblodepng-dev libx11-dev libebur128-dev libmicrohttpd-dev liblo-dev libqrencode-dev"
# Tests (GoogleTest, a virtual display and real X input, references sox and
# liblqr compute, sound servers, the sdl12-compat runs), fuzzing (clang),
# packaging (lintian, desktop-file-utils) and the ARM builds under qemu-user.
TEST_PKGS="libgtest-dev googletest xvfb xauth xdotool
clang libclang-rt-14-dev libxtst-dev liblqr-1-0-dev libpixman-1-dev
sox libsox-fmt-all libsdl1.2-compat desktop-file-utils lintian pulseaudio pulseaudio-utils
crossbuild-essential-arm64 crossbuild-essential-armhf qemu-user
openbox tint2 libxss-dev libxfixes-dev sway grim xwayland cage systemd
debootstrap bc python3 pipewire pipewire-pulse wireplumber dbus
liblo-tools curl chromium chromium-driver iproute2 stress-ng"
case "${1:-test}" in
  run) PKGS=$RUN_PKGS ;;
  test) PKGS="$RUN_PKGS $TEST_PKGS" ;;
  *) echo "usage: setup.sh [run|test]" >&2; exit 2 ;;
esac
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
