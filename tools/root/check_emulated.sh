#!/bin/sh
# Starts PROGRAM, built for another architecture, under qemu-user with SYSROOT
# (a sysroot of the release it is built for, tools/cross/sysroot.sh) as its
# library prefix, on this machine's X display; waits for its window, taps a
# button with xdotool and checks that the tap is heard (SDL's disk audio
# driver writes the mix to a file). Saves the window to OUT_PNG when given.
# Mesa's softpipe draws: llvmpipe's code generation is slow under emulation.
#   usage: check_emulated.sh QEMU SYSROOT PROGRAM [OUT_PNG]
set -e
[ $# -ge 3 ] || { echo "usage: check_emulated.sh QEMU SYSROOT PROGRAM [OUT_PNG]" >&2; exit 2; }
qemu=$1 sysroot=$(cd "$2" && pwd) program=$(cd "$(dirname "$3")" && pwd)/$(basename "$3") out=${4:-}
here=$(cd "$(dirname "$0")" && pwd)
run=$(mktemp -d)
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$run"' EXIT
t0=$(date +%s.%N)
(cd "$run" && GALLIUM_DRIVER=softpipe SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE="$run/mix.raw" \
  SDL_DISKAUDIODELAY=20 exec "$qemu" -L "$sysroot" "$program" --log-level 3) >"$run/stderr.txt" 2>&1 &
pid=$!
for i in $(seq 600); do
  grep -q "Initialization Complete" "$run/vostrel soundboard_log.txt" 2>/dev/null && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
win=$(xdotool search --name '^Vostrel Soundboard$' 2>/dev/null | head -1) || true
[ -n "$win" ] || { echo "no window" >&2; cat "$run/stderr.txt" "$run/vostrel soundboard_log.txt" >&2; exit 1; }
t1=$(date +%s.%N)
echo "start-up under $qemu: $(echo "$t1 - $t0" | bc) s"
grep -E "GL:|No OpenGL ES" "$run/vostrel soundboard_log.txt" || true
sleep 3
[ -z "$out" ] || "$here/../../build/tools/window_shot" "Vostrel Soundboard" "$out"
size0=$(stat -c %s "$run/mix.raw")
xdotool mousemove --window "$win" 40 40 mousedown 1 sleep 0.05 mouseup 1
# Up to ten seconds for the tap to be mixed: emulation is slow.
for i in $(seq 20); do
  sleep 0.5
  python3 - "$run/mix.raw" "$size0" <<'PY' && heard=1 && break
import struct, sys
data = open(sys.argv[1], 'rb').read()[int(sys.argv[2]) & ~1:]
peak = max((abs(s) for (s,) in struct.iter_unpack('<h', data[:len(data) & ~1])), default=0)
sys.exit(0 if peak > 200 else 1)
PY
done
[ -n "$heard" ] || { echo "the tap was not heard" >&2; exit 1; }
kill "$pid"; wait "$pid" || true
pid=""
echo "check_emulated.sh: $(basename "$program") draws and plays under $qemu with $(basename "$sysroot")"
