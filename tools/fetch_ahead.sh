#!/bin/sh
# Downloads and unpacks, one after another, the sysroots and Debian roots that
# make test's later steps need (the ARM cross builds, the Debian 13 builds,
# the release checks), so that the mirror's time overlaps the compiling. Each
# step still asks for its folder itself and waits for this one's lock there,
# so a step never sees a folder half made. A failure here is left for that
# step to report again.
#   usage: fetch_ahead.sh TOP   (TOP: the source tree, where the folders go)
[ $# -eq 1 ] || { echo "usage: fetch_ahead.sh TOP" >&2; exit 2; }
top=$1
sysroot=$top/tools/cross/sysroot.sh
sh "$sysroot" arm64 "$top/build-sysroot-arm64"
sh "$sysroot" armhf "$top/build-sysroot-armhf"
sh "$sysroot" amd64 "$top/build-sysroot-trixie-amd64" trixie
sh "$sysroot" arm64 "$top/build-sysroot-trixie-arm64" trixie
sh "$top/tools/root/root.sh" bookworm "$top/build-root-bookworm"
sh "$top/tools/root/root.sh" trixie "$top/build-root-trixie"
echo "fetch_ahead.sh: done"
