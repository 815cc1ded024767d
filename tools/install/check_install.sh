#!/bin/sh
# Checks what the soundboard installs, as a person's system would see it.
#
#   sh check_install.sh install BUILD VERSION   cmake --install into a temporary prefix
#   sh check_install.sh package BUILD VERSION   cpack's .deb, into a temporary folder
#
# Every failed check prints one line; the exit status is 1 if any failed.
set -u
MODE=$1
BUILD=$2
VERSION=$3
HERE=$(cd "$(dirname "$0")" && pwd)
# A cross build's program runs through its emulator command (VOSTREL_RUN) and
# is packaged for its own architecture (VOSTREL_DEB_ARCH).
# The emulator is named by its full path: the maker check empties PATH.
RUN=${VOSTREL_RUN:-}
if [ -n "$RUN" ]; then
  set -- $RUN
  emulator=$(command -v "$1") || { echo "FAIL: no emulator $1"; exit 1; }
  shift
  RUN="$emulator $*"
fi
DEB_ARCH=${VOSTREL_DEB_ARCH:-$(dpkg --print-architecture)}
tmp=$(mktemp -d /tmp/vostrel-install-XXXXXX)
trap 'rm -rf "$tmp"' EXIT
failed=0
fail() {
  echo "FAIL: $*"
  failed=1
}

# Width and height of a PNG from its IHDR chunk.
png_size() {
  od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216+$2*65536+$3*256+$4 "x" $5*16777216+$6*65536+$7*256+$8 }'
}

# The installed tree under $1 (the prefix): program, desktop entry, icons,
# man page, documents.
check_tree() {
  root=$1
  bin=$root/bin/vostrel-soundboard
  [ -x "$bin" ] || fail "no executable $bin"
  # shellcheck disable=SC2086 # the emulator command is words
  out=$(cd "$tmp" && env -u DISPLAY $RUN "$bin" --version 2>&1)
  [ "$out" = "vostrel-soundboard $VERSION" ] || fail "--version printed '$out'"
  entry=$root/share/applications/vostrel-soundboard.desktop
  if [ -f "$entry" ]; then
    desktop-file-validate "$entry" || fail "desktop-file-validate $entry"
    grep -qx 'Exec=vostrel-soundboard --xdg-state' "$entry" || fail "$entry: Exec without --xdg-state"
    grep -qx 'Icon=vostrel-soundboard' "$entry" || fail "$entry: Icon is not the installed icon's name"
  else
    fail "no desktop entry $entry"
  fi
  for size in 64 128 256; do
    icon=$root/share/icons/hicolor/${size}x$size/apps/vostrel-soundboard.png
    if [ -f "$icon" ]; then
      [ "$(png_size "$icon")" = "${size}x$size" ] || fail "$icon is $(png_size "$icon")"
    else
      fail "no icon $icon"
    fi
  done
  man=$root/share/man/man6/vostrel-soundboard.6.gz
  if [ -f "$man" ]; then
    gzip -dc "$man" | grep -q "^\.TH VOSTREL-SOUNDBOARD 6 .*$VERSION" || fail "$man: no section 6 title with $VERSION"
    gzip -dc "$man" | grep -q 'xdg' || fail "$man does not document --xdg-state"
  else
    fail "no man page $man"
  fi
  maker=$root/bin/vostrel-make-board
  [ -x "$maker" ] || fail "no executable $maker"
  $RUN "$maker" --help | grep -q -- '--program' || fail "$maker --help does not describe --program"
  man1=$root/share/man/man1/vostrel-make-board.1.gz
  [ -f "$man1" ] && gzip -dc "$man1" | grep -q 'volume=' || fail "no man page $man1 describing the options"
  [ -f "$root/lib/systemd/system/vostrel-soundboard@.service" ] || fail "no boot unit in lib/systemd/system"
  [ -x "$root/sbin/vostrel-soundboard-boot" ] || fail "no executable $root/sbin/vostrel-soundboard-boot"
  for doc in README.md copyright changelog.gz; do
    [ -f "$root/share/doc/vostrel-soundboard/$doc" ] || fail "no $doc in share/doc/vostrel-soundboard"
  done
  [ "$(ls -A "$tmp/run" 2>/dev/null)" = "" ] || fail "--version wrote files"
}

# The board maker as a machine with only the package and sox has it: no
# compiler, cmake, shell tools or source tree on the PATH, and an empty
# environment. The board it writes (its default name) is the package's
# program followed by the board's trailer, and it runs.
check_maker_alone() {
  root=$1
  mkdir -p "$tmp/path" "$tmp/alone/my sounds"
  for tool in sox; do
    ln -s "$(command -v $tool)" "$tmp/path/$tool" || fail "no $tool on this machine"
  done
  sox -n -r 44100 -c 2 "$tmp/alone/my sounds/horn.wav" synth 0.3 sine 440 2>/dev/null
  sox -n -r 22050 "$tmp/alone/my sounds/drum roll.flac" synth 0.3 pinknoise 2>/dev/null
  if (cd "$tmp/alone" && env -i PATH="$tmp/path" HOME="$tmp/alone" $RUN "$root/bin/vostrel-make-board" "my sounds" >out.txt 2>&1); then
    board=$tmp/alone/my-sounds-board
    [ "$(tail -c 24 "$board" | head -c 8)" = VSTRLBRD ] || fail "$board ends in no board trailer"
    program_size=$(wc -c <"$root/bin/vostrel-soundboard")
    head -c "$program_size" "$board" | cmp -s - "$root/bin/vostrel-soundboard" || fail "$board does not start with the package's program"
    (cd "$tmp/alone" && env -u DISPLAY $RUN "$board" --version >/dev/null) || fail "$board --version"
  else
    fail "vostrel-make-board with only the package and sox: $(cat "$tmp/alone/out.txt")"
  fi
}

mkdir -p "$tmp/run"
case $MODE in
install)
  cmake --install "$BUILD" --prefix "$tmp/prefix" --component soundboard >/dev/null || fail "cmake --install"
  # shellcheck disable=SC2086
  (cd "$tmp/run" && env -u DISPLAY $RUN "$tmp/prefix/bin/vostrel-soundboard" --help >/dev/null) || fail "--help"
  check_tree "$tmp/prefix"
  check_maker_alone "$tmp/prefix"
  ;;
package)
  (cd "$tmp" && cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$tmp/pkg" >/dev/null) || fail "cpack"
  deb=$tmp/pkg/vostrel-soundboard_${VERSION}_$DEB_ARCH.deb
  if [ ! -f "$deb" ]; then
    fail "no $deb"
  else
    [ "$(dpkg-deb -f "$deb" Package)" = vostrel-soundboard ] || fail "package name"
    depends=$(dpkg-deb -f "$deb" Depends)
    for lib in libc6 libsdl1.2debian libsdl-mixer1.2 liblodepng0 libegl1 libgles1 libegl-mesa0 libmicrohttpd12 liblo7 libqrencode4; do
      echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib (dpkg-shlibdeps): $depends"
    done
    # Only the soundboard: no library, headers or build files of the framework.
    extra=$(dpkg-deb -c "$deb" | awk '{ print $6 }' | grep -E '\.(a|h|cmake|pc)$')
    [ -z "$extra" ] && : || fail "framework files in the package: $extra"
    lintian --fail-on error "$deb" >"$tmp/lintian.txt" 2>&1 || { cat "$tmp/lintian.txt"; fail "lintian reports errors"; }
    dpkg-deb -f "$deb" Recommends | grep -q 'sox' || fail "Recommends lacks sox"
    dpkg-deb -x "$deb" "$tmp/root"
    check_tree "$tmp/root/usr"
    check_maker_alone "$tmp/root/usr"
  fi
  ;;
*)
  echo "usage: check_install.sh install|package BUILD VERSION" >&2
  exit 2
  ;;
esac
[ "$failed" -eq 0 ] && echo "all install checks passed"
exit "$failed"
