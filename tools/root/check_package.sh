#!/bin/sh
# Installs DEB with `apt install ./DEB` in a fresh copy of the root ROOT
# (tools/root/root.sh), then starts the installed program there on this
# machine's X display (its socket is bound into the copy), taps a button with
# xdotool and checks that the board is drawn (the window's picture, saved to
# OUT_PNG when given) and that the tap is heard (SDL's disk audio driver
# writes the mix to a file). Prints the install and start-up times. Run as
# root, under an X server (xvfb-run). The copy is removed afterwards; the
# downloaded packages are kept in ROOT.apt-cache for the next run.
#
# With BUILD and TESTs, that build's test programs then run in the same root,
# against its libraries (the build folder and the source tree are bound into
# it at their own paths), each in a scratch folder of its own. A TEST is a
# program of BUILD/tests, with ":FILTER" for a GoogleTest filter.
#   usage: check_package.sh ROOT DEB [OUT_PNG [BUILD TEST...]]
set -e
[ $# -ge 2 ] || { echo "usage: check_package.sh ROOT DEB [OUT_PNG [BUILD TEST...]]" >&2; exit 2; }
root=$(cd "$1" && pwd)
deb=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
out=${3:-}
build=""
if [ $# -ge 4 ]; then
  build=$(cd "$4" && pwd)
  shift 4
fi
here=$(cd "$(dirname "$0")" && pwd)
[ -n "$DISPLAY" ] || { echo "check_package.sh: no DISPLAY (run under xvfb-run)" >&2; exit 2; }
display=${DISPLAY#*:}
display=${display%%.*}
work=$(mktemp -d "${root}.run.XXXXXX")
cache=$root.apt-cache
mkdir -p "$cache/partial"
mounted=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
  for m in $mounted; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
  # The source tree and the build are bound in: never remove through a mount.
  if grep -q " $work[/ ]" /proc/mounts; then
    echo "check_package.sh: $work still has mounts; left in place" >&2
  else
    rm -rf "$work"
  fi
}
pid=""
trap cleanup EXIT
cp -a "$root/." "$work/"
for d in proc dev tmp/.X11-unix var/cache/apt/archives; do
  mkdir -p "$work/$d"
done
mount --bind /proc "$work/proc" && mounted="$work/proc $mounted"
mount --bind /dev "$work/dev" && mounted="$work/dev $mounted"
mount --bind /tmp/.X11-unix "$work/tmp/.X11-unix" && mounted="$work/tmp/.X11-unix $mounted"
mount --bind "$cache" "$work/var/cache/apt/archives" && mounted="$work/var/cache/apt/archives $mounted"
cp /etc/resolv.conf "$work/etc/resolv.conf" 2>/dev/null || true
cp "$deb" "$work/tmp/"
# xvfb-run's server asks for its cookie.
xauth=""
if [ -n "$XAUTHORITY" ] && [ -f "$XAUTHORITY" ]; then
  cp "$XAUTHORITY" "$work/tmp/Xauthority"
  xauth=XAUTHORITY=/tmp/Xauthority
fi
name=$(basename "$deb")
in_root() { chroot "$work" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root "$@"; }
in_root apt-get -q update >"$work.update.log" 2>&1 || { cat "$work.update.log" >&2; rm -f "$work.update.log"; exit 1; }
rm -f "$work.update.log"
t0=$(date +%s.%N)
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "./tmp/$name" \
  >"$work/tmp/install.log" 2>&1 || { cat "$work/tmp/install.log" >&2; exit 1; }
t1=$(date +%s.%N)
echo "install: $(echo "$t1 - $t0" | bc) s"
# The program in a scratch folder of the root, the mix going to a file.
mkdir -p "$work/run"
t0=$(date +%s.%N)
chroot "$work" env -i PATH=/usr/bin:/bin HOME=/run DISPLAY=":$display" $xauth \
  SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=/run/mix.raw SDL_DISKAUDIODELAY=20 \
  sh -c 'cd /run && exec vostrel-soundboard --log-level 3' >"$work/run/stderr.txt" 2>&1 &
pid=$!
win=""
for i in $(seq 200); do
  win=$(xdotool search --name '^Vostrel Soundboard$' 2>/dev/null | head -1) || true
  [ -n "$win" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.05
done
[ -n "$win" ] || { echo "no window" >&2; cat "$work/run/stderr.txt" >&2; exit 1; }
# Started: the log's "Initialization Complete" line is written.
for i in $(seq 200); do
  grep -q "Initialization Complete" "$work/run/vostrel soundboard_log.txt" 2>/dev/null && break
  sleep 0.05
done
t1=$(date +%s.%N)
echo "start-up: $(echo "$t1 - $t0" | bc) s"
grep -E "GL:|No OpenGL ES" "$work/run/vostrel soundboard_log.txt" || true
sleep 1
if [ -n "$out" ]; then
  "$here/../../build/tools/window_shot" "Vostrel Soundboard" "$out"
fi
size0=$(stat -c %s "$work/run/mix.raw" 2>/dev/null || echo 0)
xdotool mousemove --window "$win" 40 40 mousedown 1 sleep 0.05 mouseup 1
sleep 1.5
# Any sample of the mix after the tap louder than 200 of 32767: heard.
python3 - "$work/run/mix.raw" "$size0" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()[int(sys.argv[2]) & ~1:]
peak = max((abs(s) for (s,) in struct.iter_unpack('<h', data[:len(data) & ~1])), default=0)
print("tap peak:", peak)
sys.exit(0 if peak > 200 else 1)
PY
kill "$pid"; wait "$pid" || true
pid=""
echo "check_package.sh: $(basename "$deb") installs, draws and plays in $(basename "$root")"
[ -n "$build" ] || exit 0

# The tests' own tools: X input, and the sound servers of the restart and
# named-sink tests.
in_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends \
  xdotool pipewire pipewire-pulse wireplumber dbus-daemon pulseaudio pulseaudio-utils \
  >"$work/tmp/install-tests.log" 2>&1 || { cat "$work/tmp/install-tests.log" >&2; exit 1; }
source_dir=$(cd "$here/../.." && pwd)
for d in "$source_dir" "$build"; do
  mkdir -p "$work$d"
  mount --bind "$d" "$work$d" && mounted="$work$d $mounted"
done
failed=""
for test in "$@"; do
  program=${test%%:*}
  filter=""
  [ "$program" = "$test" ] || filter="--gtest_filter=${test#*:}"
  scratch=$(mktemp -d "$work/tmp/test.XXXXXX")
  echo "== $test in $(basename "$root")"
  if ! chroot "$work" env -i PATH=/usr/bin:/bin HOME="${scratch#$work}" DISPLAY=":$display" $xauth \
    SDL_AUDIODRIVER=dummy sh -c 'cd "$1" && shift && exec "$@"' sh "${scratch#$work}" \
    "$build/tests/$program" $filter; then
    failed="$failed $test"
  fi
done
[ -z "$failed" ] || { echo "check_package.sh: failed in $(basename "$root"):$failed" >&2; exit 1; }
echo "check_package.sh: $* pass in $(basename "$root")"
