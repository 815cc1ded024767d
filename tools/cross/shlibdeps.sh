#!/bin/sh
# Prints the Depends that dpkg-shlibdeps computes for PROGRAM (built for ARCH)
# from the sysroot's libraries and the dpkg database sysroot.sh wrote there.
#   usage: shlibdeps.sh SYSROOT ARCH PROGRAM
set -e
[ $# -eq 3 ] || { echo "usage: shlibdeps.sh SYSROOT ARCH PROGRAM" >&2; exit 2; }
sysroot=$(cd "$1" && pwd)
arch=$2
program=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
triplet=$(dpkg-architecture -a"$arch" -qDEB_HOST_MULTIARCH 2>/dev/null)
tmp=$(mktemp -d /tmp/vostrel-shlibdeps.XXXXXX)
trap 'rm -rf "$tmp"' EXIT
mkdir "$tmp/debian"
: > "$tmp/debian/control"
cd "$tmp"
DEB_HOST_ARCH=$arch dpkg-shlibdeps --admindir="$sysroot/var/lib/dpkg" \
  -l"$sysroot/usr/lib/$triplet" -l"$sysroot/lib/$triplet" -O "$program" >"$tmp/out" 2>"$tmp/err" ||
  { cat "$tmp/err" >&2; exit 1; }
deps=$(sed -n 's/^shlibs:Depends=//p' "$tmp/out")
[ -n "$deps" ] || { echo "shlibdeps.sh: no Depends for $program" >&2; cat "$tmp/err" >&2; exit 1; }
echo "$deps"
