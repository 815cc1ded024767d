#!/bin/sh
# Makes a Debian root of release DIST (bookworm, trixie) in DEST with
# debootstrap (minbase), for installing the packages built here as a new user
# would. Kept while DIST and this script are unchanged; remade when they
# change. The root is only a template: tools/root/check_package.sh runs each
# check in a fresh copy of it.
#   usage: root.sh DIST DEST
set -e
[ $# -eq 2 ] || { echo "usage: root.sh DIST DEST" >&2; exit 2; }
dist=$1
mkdir -p "$2"
dest=$(cd "$2" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
# One maker at a time per folder (make test makes the roots ahead in the
# background): the second caller waits here and then finds the stamp.
exec 9>"$dest.lock"
flock 9
stamp=$dest/.vostrel-root
want="$dist $(md5sum < "$here/root.sh" | cut -d' ' -f1)"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  exit 0
fi
echo "root.sh: making the $dist root in $dest"
rm -rf "$dest"
tries=0
until debootstrap --variant=minbase "$dist" "$dest" http://deb.debian.org/debian >"$dest.log" 2>&1; do
  tries=$((tries + 1))
  [ $tries -lt 3 ] || { tail -20 "$dest.log" >&2; exit 1; }
  rm -rf "$dest"
  sleep 5
done
rm -f "$dest.log"
echo "$want" > "$stamp"
echo "root.sh: $(du -sh "$dest" | cut -f1) in $dest"
