#!/bin/sh
# The framework as other projects get it: installs the framework component of
# the build tree into a temporary prefix, then builds examples/tour against it
# twice, as a CMake project of its own (find_package(Vostrel)) and with a
# plain compiler command from pkg-config, and runs the CMake-built program
# under the display until SIGTERM, which must end it with status 0; the same
# for the guide's first application, taken from docs/framework.md, built
# once more as the guide's CMake lines and its compiler line build it; the
# guide's asset-record lines must be the tour's own. A newcomer's application
# with a click.wav of its own (tests/newcomer) builds both ways too, speaks of
# itself in --help and --version, and counts a tap in its counting area.
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
# The public headers, none of the framework's internal ones.
! find "$work/prefix" -name '*_internal.h' | grep . || fail "internal headers were installed"
# Only the framework: nothing of the soundboard.
! find "$work/prefix" -path '*/app/*' -o -name 'vostrel-soundboard*' | grep . || fail "the soundboard's files were installed"
# Nor does the package or a header speak of the board: no CMake function,
# generated include or comment of it ("keyboard" aside).
! grep -rniE '(^|[^y])board|app/app\.h' "$work/prefix/lib/cmake" "$work/prefix/include" ||
    fail "the installed package or headers name the board"

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

# A newcomer's application (tests/newcomer): its own click.wav beside the
# framework's, its own version and help, a counting area, the count in the
# bitmap font and in its options file. Built by its CMake project
# (find_package and vostrel_asset_records) and by pkg-config's flags with the
# guide's assembly file for click.wav, as docs/framework.md prints it.
now() { date +%s.%N; }
started=$(now)
cmake -S "$source/tests/newcomer" -B "$work/tally" -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" >"$work/tally.log" 2>&1 &&
    cmake --build "$work/tally" >>"$work/tally.log" 2>&1 &&
    [ -x "$work/tally/tally" ] || fail "the newcomer's CMake project builds no tally: $(cat "$work/tally.log")"
cmake_seconds=$(awk -v a="$started" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }')
mkdir "$work/tally-pc"
cp "$source/tests/newcomer/tally.cpp" "$source/tests/newcomer/click.wav" "$work/tally-pc/"
awk '/^```asm[ \t]*$/ { inside = 1; next } inside && /^```/ { exit } inside { print }' \
    "$source/docs/framework.md" >"$work/tally-pc/click.S"
grep -q 'incbin "click.wav"' "$work/tally-pc/click.S" || fail "no assembly file for click.wav in docs/framework.md"
started=$(now)
# shellcheck disable=SC2086 # the flags are words
(cd "$work/tally-pc" && "$cxx" -std=c++20 tally.cpp click.S -o tally $flags) ||
    fail "compiling the newcomer's application with pkg-config's flags and the guide's click.S"
pc_seconds=$(awk -v a="$started" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }')
for tally in "$work/tally/tally" "$work/tally-pc/tally"; do
    version=$("$tally" --version) || fail "$tally --version failed"
    [ "$version" = "tally 0.3" ] || fail "$tally --version says \"$version\", not its own \"tally 0.3\""
    "$tally" --help >"$work/help.txt" || fail "$tally --help failed"
    head -1 "$work/help.txt" | grep -qx 'Usage: tally \[OPTION\]\.\.\.' || fail "$tally --help: $(head -1 "$work/help.txt")"
    grep -qx 'Tally, a counter: tap the lower half of the screen to count\.' "$work/help.txt" ||
        fail "$tally --help does not give the application's own line: $(cat "$work/help.txt")"
    ! grep -niE '(^|[^y])board|caption' "$work/help.txt" || fail "$tally --help speaks of a board"
done
mkdir "$work/tally-run"
(cd "$work/tally-run" && SDL_AUDIODRIVER=dummy exec "$work/tally/tally") &
pid=$!
window=$(timeout 20 xdotool search --sync --onlyvisible --name '^Tally$' | head -1) ||
    fail "the newcomer's application opened no window"
# The upper half shows the count and counts nothing; the lower half counts:
# two taps of three (window pixels, y down) count.
xdotool mousemove --window "$window" 160 400 click 1 mousemove --window "$window" 160 100 click 1 \
    mousemove --window "$window" 100 440 click 1
conf="$work/tally-run/tally.conf"
i=0
while [ $i -lt 100 ] && ! grep -qE '^count[[:space:]]+0[[:space:]]+[2-9]$' "$conf" 2>/dev/null; do
    sleep 0.1
    i=$((i + 1))
done
sleep 0.5
kill -TERM $pid
status=0
wait $pid || status=$?
[ $status -eq 0 ] || fail "the newcomer's application ended with status $status after SIGTERM"
grep -qE '^count[[:space:]]+0[[:space:]]+2$' "$conf" ||
    fail "three taps, two in the counting area, left the count at: $(cat "$conf" 2>/dev/null)"
echo "newcomer's application ($(wc -l <"$source/tests/newcomer/tally.cpp") lines): built by CMake in $cmake_seconds s, by pkg-config in $pc_seconds s"

# The guide's first application, exactly as docs/framework.md prints it: the
# first cpp block under "The smallest application", built with pkg-config's
# flags; it must open its window (captioned "Hello") and quit on SIGTERM.
awk '/^## 2\. The smallest application/ { section = 1 }
     section && /^```cpp/ { inside = 1; next }
     inside && /^```/ { exit }
     inside { print }' "$source/docs/framework.md" >"$work/hello.cpp"
grep -q 'APP_NAME\[\] = "Hello"' "$work/hello.cpp" || fail "no first application found in docs/framework.md"
# shellcheck disable=SC2086 # the flags are words
"$cxx" -std=c++20 "$work/hello.cpp" -o "$work/hello" $flags ||
    fail "compiling the guide's first application with pkg-config's flags"
mkdir "$work/hello-run"
(cd "$work/hello-run" && SDL_AUDIODRIVER=dummy exec "$work/hello") &
pid=$!
timeout 20 xdotool search --sync --onlyvisible --name '^Hello$' >/dev/null ||
    fail "the guide's first application opened no window"
kill -TERM $pid
status=0
wait $pid || status=$?
[ $status -eq 0 ] || fail "the guide's first application ended with status $status after SIGTERM"

# The guide's CMake project and its one-line compiler command, as printed
# (the prefix it names replaced by this one), each building my_app.cpp.
guide_block() { # $1: the fence's language, $2: which block of that language
    awk -v lang="$1" -v want="$2" '$0 == "```" lang { n++; inside = (n == want); next }
        inside && /^```/ { inside = 0; next }
        inside { print }' "$source/docs/framework.md"
}
mkdir "$work/guide"
cp "$work/hello.cpp" "$work/guide/my_app.cpp"
{
    echo "cmake_minimum_required(VERSION 3.22)"
    echo "project(my_app LANGUAGES CXX)"
    echo "set(CMAKE_CXX_STANDARD 20)"
    guide_block cmake 1
} >"$work/guide/CMakeLists.txt"
grep -q 'Vostrel::framework' "$work/guide/CMakeLists.txt" || fail "no CMake block in docs/framework.md"
cmake -S "$work/guide" -B "$work/guide/build" -DCMAKE_PREFIX_PATH="$work/prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" >"$work/guide.log" 2>&1 &&
    cmake --build "$work/guide/build" >>"$work/guide.log" 2>&1 &&
    [ -x "$work/guide/build/my-app" ] || fail "the guide's CMake lines build no my-app: $(cat "$work/guide.log")"
line=$(guide_block sh 1)
case "$line" in *my_app.cpp*pkg-config*) ;; *) fail "no compiler line in docs/framework.md: $line" ;; esac
(cd "$work/guide" && eval "$(echo "$line" | sed "s#/opt/vostrel#$work/prefix#g; s#^c++ #\"\$cxx\" #") -o my-app-pc") ||
    fail "the guide's compiler line: $line"
guide_block cmake 2 | while IFS= read -r l; do
    grep -qxF "$l" "$source/examples/tour/CMakeLists.txt" || fail "the guide's asset lines are not the tour's: $l"
done

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
echo "installed framework: tour, the newcomer's application and the guide's first application built, ran and quit with status 0"
