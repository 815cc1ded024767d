#!/bin/sh
# Runs a command on an X display of its own: a private Xvfb that picks its own
# display number (-displayfd), so tests run side by side share no window,
# focus or pointer and never race for a number. -noreset keeps the server up
# while a test's programs come and go. The server is ended, by its process id,
# when the command ends; the command's exit status is the script's.
#   usage: private_display.sh COMMAND [ARG...]
[ $# -ge 1 ] || { echo "usage: private_display.sh COMMAND [ARG...]" >&2; exit 2; }
numfile=$(mktemp /tmp/vostrel-display.XXXXXX) || exit 1
Xvfb -displayfd 3 -screen 0 1024x768x24 -noreset -nolisten tcp 3>"$numfile" 2>"$numfile.log" &
xvfb=$!
stop() { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -f "$numfile" "$numfile.log"; }
trap 'stop; exit 143' TERM INT
# Xvfb writes the number once it accepts connections: up to ten seconds.
tries=0
until grep -q '^[0-9][0-9]*$' "$numfile" 2>/dev/null; do
  if ! kill -0 "$xvfb" 2>/dev/null || [ $tries -ge 100 ]; then
    echo "private_display.sh: Xvfb gave no display:" >&2
    cat "$numfile.log" >&2
    stop
    exit 1
  fi
  tries=$((tries + 1))
  sleep 0.1
done
DISPLAY=:$(cat "$numfile")
export DISPLAY
unset XAUTHORITY
"$@"
status=$?
stop
exit $status
