#!/bin/sh
# The framework as other projects get it: installs the framework component of
# the build tree into a temporary prefix, then builds examples/tour against it
# twice, as a CMake project of its own (find_package(Vostrel)) and with a
# plain compiler command from pkg-config, and runs the CMake-built program
# under the display until SIGTERM, which must end it with status 0.
# Usage: tour_package.sh <build dir> <source dir> <C++ compiler>
set -eu
build=$1
source=$2
cxx=$3
work=$(mktemp -d /tmp/vostrel-package.XXXXXX)
trap 'rm -rf "$work"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cmake --install "$build" --component framework --prefix "$work/prefix" >"$work/install.log" ||
    fail "cmake --install: $(cat "$work/install.log")"
for f in lib/libvostrel_framework.a include/vostrel/ui/ui.h \
    include/vostrel/shell/shell.h lib/cmake/Vostrel/VostrelConfig.cmake \
    lib/cmake/Vostrel/VostrelConfigVersion.cmake lib/pkgconfig/vostrel.pc; do
    [ -f "$work/prefix/$f" ] || fail "not installed: $f"
done
# Only the framework: nothing of the soundboard.
! find "$work/prefix" -path '*/app/*' -o -name 'vostrel-soundboard*' | grep . || fail "the soundboard's files were installed"

cmake -S "$source/examples/tour" -B "$work/tour" -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=Release >"$work/configure.log" 2>&1 ||
    fail "configuring the tour: $(cat "$work/configure.log")"
cmake --build "$work/tour" >"$work/build.log" 2>&1 || fail "building the tour: $(cat "$work/build.log")"
[ -x "$work/tour/vostrel-tour" ] || fail "no vostrel-tour after the build"

PKG_CONFIG_PATH="$work/prefix/lib/pkgconfig"
export PKG_CONFIG_PATH
flags=$(pkg-config --cflags --libs vostrel) || fail "pkg-config knows no vostrel"
# The tour's picture: the records the CMake build generated.
# shellcheck disable=SC2086 # the flags are words
"$cxx" -std=c++20 "$source/examples/tour/tour.cpp" "$work/tour/tour_assets.S" -o "$work/tour-pc" $flags ||
    fail "compiling the tour with pkg-config's flags"

mkdir "$work/run"
cd "$work/run"
SDL_AUDIODRIVER=dummy "$work/tour/vostrel-tour" --log-level 3 &
pid=$!
# Started once its log says so (the log file is created at the first line).
i=0
while [ $i -lt 100 ] && ! grep -q "Initialization Complete" "vostrel tour_log.txt" 2>/dev/null; do
    kill -0 $pid 2>/dev/null || break
    sleep 0.1
    i=$((i + 1))
done
kill -0 $pid 2>/dev/null || fail "the tour ended by itself"
kill -TERM $pid
status=0
wait $pid || status=$?
[ $status -eq 0 ] || fail "the tour ended with status $status after SIGTERM"
echo "installed framework: tour built with CMake and pkg-config, ran and quit with status 0"
