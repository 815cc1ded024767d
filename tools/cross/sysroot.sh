#!/bin/sh
# Makes a sysroot for ARCH (arm64, armhf, or amd64 for another release than
# the host's) in DEST: the closure of packages.txt (packages-DIST.txt for a
# DIST other than the host's) for that architecture, downloaded with apt into
# a private apt state (the host's apt configuration, dpkg database and
# architectures are never changed) and unpacked with dpkg -x. DIST (e.g.
# trixie) takes the packages from that Debian release instead of the host's
# sources. Absolute symbolic links are made relative so that they resolve
# inside DEST. Kept while the package list is unchanged; remade (from
# scratch) when it changes.
#
# With DEB (a package file of this project's), the closure is that package's
# instead of the list's: what `apt install ./DEB` puts on a fresh system of
# that release and processor, unpacked (no maintainer script runs: this
# machine cannot run the other processor's programs but through qemu-user).
#   usage: sysroot.sh ARCH DEST [DIST [DEB]]
set -e
[ $# -ge 2 ] && [ $# -le 4 ] || { echo "usage: sysroot.sh arm64|armhf|amd64 DEST [DIST [DEB]]" >&2; exit 2; }
arch=$1
dist=${3:-}
own_deb=""
[ -z "${4:-}" ] || own_deb=$(cd "$(dirname "$4")" && pwd)/$(basename "$4")
mkdir -p "$2"
dest=$(cd "$2" && pwd)
case $arch in arm64|armhf) ;; amd64) [ -n "$dist" ] || { echo "sysroot.sh: amd64 needs a DIST" >&2; exit 2; } ;;
  *) echo "sysroot.sh: unknown ARCH '$arch' (arm64, armhf or amd64)" >&2; exit 2 ;; esac
here=$(cd "$(dirname "$0")" && pwd)
list=$here/packages.txt
[ -n "$dist" ] && list=$here/packages-$dist.txt
[ -f "$list" ] || { echo "sysroot.sh: no package list $list" >&2; exit 2; }
pkgs=$(sed -e 's/#.*//' "$list" | tr -s ' \n' ' ')
[ -z "$own_deb" ] || pkgs="$own_deb $(md5sum < "$own_deb" | cut -d' ' -f1)"
# One maker at a time per folder: make test fetches the sysroots ahead in the
# background (tools/fetch_ahead.sh) while the steps that need them may ask too;
# the second caller waits here and then finds the stamp.
exec 9>"$dest.lock"
flock 9
stamp=$dest/.vostrel-packages
# The stamp names the folder too (the dpkg database's file lists hold its
# path) and this script's own text, so that a changed recipe remakes it.
want="$arch $dist $dest $pkgs $(md5sum < "$here/sysroot.sh" | cut -d' ' -f1)"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$want" ]; then
  exit 0
fi

echo "sysroot.sh: making the $arch sysroot in $dest"
rm -rf "$dest"
mkdir -p "$dest"
state=$dest.apt
mkdir -p "$state/lists/partial" "$state/archives/partial" "$state/cache" "$dest"
: > "$state/status"
# Another release: its main suite and security updates, signed with the
# keys of debian-archive-keyring, in place of the host's sources.
sources=""
if [ -n "$dist" ]; then
  cat > "$state/sources.list" <<EOS
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $dist main
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian $dist-updates main
deb [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] http://deb.debian.org/debian-security $dist-security main
EOS
  sources="-o Dir::Etc::SourceList=$state/sources.list -o Dir::Etc::SourceParts=/nonexistent"
fi
apt_private() {
  # shellcheck disable=SC2086
  apt-get -q $sources -o APT::Architecture="$arch" -o APT::Architectures="$arch" \
    -o Dir::State="$state" -o Dir::State::Lists="$state/lists" \
    -o Dir::State::status="$state/status" -o Dir::Cache="$state/cache" \
    -o Dir::Cache::Archives="$state/archives" -o Debug::NoLocking=1 \
    -o APT::Install-Recommends=0 -o APT::Sandbox::User=root "$@"
}
# A mirror caught mid-sync serves an index of the wrong size now and then
# (seen with the security suite's armhf index): a few tries, then the indexes
# that did arrive, with a warning, if the main suite's is among them.
tries=0
until apt_private update >"$state/update.log" 2>&1; do
  tries=$((tries + 1))
  if [ $tries -ge 3 ]; then
    if ls "$state"/lists/*_main_binary-"${arch}"_Packages* >/dev/null 2>&1; then
      echo "sysroot.sh: warning: these $arch indexes could not be fetched; the others are used:" >&2
      grep '^E: Failed to fetch' "$state/update.log" >&2 || true
      break
    fi
    cat "$state/update.log" >&2
    exit 1
  fi
  sleep 5
done
# With an empty dpkg status every dependency, libc included, is in the
# closure: the sysroot holds everything the programs load.
# shellcheck disable=SC2086
apt_private install -y --download-only ${own_deb:-$pkgs} >"$state/install.log" 2>&1 ||
  { cat "$state/install.log" >&2; exit 1; }
# Each package unpacked, and recorded in a dpkg database of the sysroot's own
# (var/lib/dpkg: status, file lists with the sysroot's paths, symbols and
# shlibs files), which dpkg-shlibdeps --admindir reads to compute a cross
# package's Depends.
admin=$dest/var/lib/dpkg
mkdir -p "$admin/info" "$admin/updates"
echo "$arch" > "$admin/arch"
echo 1 > "$admin/info/format" # info files named PACKAGE:ARCH for Multi-Arch: same
: > "$admin/status"
for deb in "$state"/archives/*.deb $own_deb; do
  dpkg -x "$deb" "$dest"
  pkg=$(dpkg-deb -f "$deb" Package)
  name=$pkg
  [ "$(dpkg-deb -f "$deb" Multi-Arch)" = same ] && name=$pkg:$arch
  dpkg-deb -f "$deb" | sed '/^Status:/d' >> "$admin/status.new"
  echo "Status: install ok installed" >> "$admin/status.new"
  echo >> "$admin/status.new"
  dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's,^\./,/,' -e 's,/$,,' -e '/^$/d' |
    sed "s,^,$dest," > "$admin/info/$name.list"
  dpkg-deb -e "$deb" "$state/control"
  for f in symbols shlibs; do
    [ -f "$state/control/$f" ] && cp "$state/control/$f" "$admin/info/$name.$f"
  done
  rm -rf "$state/control"
done
mv "$admin/status.new" "$admin/status"

# /lib/x -> /usr/lib/x and the like: relative, so the compiler and the emulator
# see the link's target inside the sysroot, not the host's.
root=$dest
find "$root" -type l | while read -r link; do
  target=$(readlink "$link")
  case $target in
    /*) ln -sfn "$(realpath -m --relative-to="$(dirname "$link")" "$root$target")" "$link" ;;
  esac
done
# A merged-/usr release (trixie) ships its dynamic loader only under
# /usr/lib; /lib is base-files' link, outside the closure.
for d in lib bin sbin; do
  [ -e "$root/$d" ] || [ ! -d "$root/usr/$d" ] || ln -s "usr/$d" "$root/$d"
done
rm -rf "$state"
echo "$want" > "$stamp"
echo "sysroot.sh: $(du -sh "$root" | cut -f1) in $root"
