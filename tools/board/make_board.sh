#!/bin/sh
# Builds a soundboard whose board is a folder of sounds.
#
#   sh tools/board/make_board.sh SOUNDS OUT [FRAMEWORK_BUILD]
#
# SOUNDS holds 1 to 20 audio files in any format sox reads (hidden files and
# folders are skipped; captions.txt is read, not played). Each file becomes a
# clip (22050 Hz, mono, signed 16-bit PCM, a RIFF WAVE of exactly a "fmt " and
# a "data" chunk, leading silence trimmed) and one button. Its caption is the
# file name without its extension, underscores and dashes as spaces, wrapped
# into at most 4 lines of at most 12 characters, 27 in all; a line
# "<file name><TAB><caption>" in SOUNDS/captions.txt gives a caption instead
# ("\n" in it breaks the line where it stands; without one it is wrapped).
#
# Everything is written under OUT: OUT/board/board.txt and OUT/board/clips/.
# With FRAMEWORK_BUILD (a build folder of the whole project holding
# libvostrel_framework.a) the board's program is then configured and built in
# OUT from tools/board/CMakeLists.txt; without it the script stops after
# the clips (the builder's refusals are tested that way).
#
# Every refusal is one line on stderr naming the file and the rule broken;
# all of them are reported, then the script exits with status 1 and builds
# nothing.
set -u

SOUNDS=${1:-}
OUT=${2:-}
FRAMEWORK_BUILD=${3:-}
HERE=$(cd "$(dirname "$0")" && pwd)
SOURCE=$(cd "$HERE/../.." && pwd)
MAX_BUTTONS=20

if [ -z "$SOUNDS" ] || [ -z "$OUT" ]; then
  echo "usage: make board SOUNDS=path/to/folder" >&2
  exit 2
fi
if [ ! -d "$SOUNDS" ]; then
  echo "$SOUNDS: not a folder (SOUNDS must name a folder of 1 to $MAX_BUTTONS sounds)" >&2
  exit 1
fi
command -v sox >/dev/null || { echo "sox is not installed: run sh tools/setup.sh" >&2; exit 1; }

refused=0
refuse() {
  echo "$1" >&2
  refused=1
}

# The sounds, in byte order of their names.
LIST=$(mktemp) || exit 1
trap 'rm -f "$LIST" "$LIST.caps" "$LIST.raw" "$LIST.err"' EXIT
for f in "$SOUNDS"/*; do
  [ -f "$f" ] || continue
  name=${f##*/}
  [ "$name" = captions.txt ] && continue
  printf '%s\n' "$name"
done | LC_ALL=C sort >"$LIST"
count=$(wc -l <"$LIST")
if [ "$count" -eq 0 ]; then
  echo "$SOUNDS: no sound files in the folder (a board has 1 to $MAX_BUTTONS)" >&2
  exit 1
fi
if [ "$count" -gt "$MAX_BUTTONS" ]; then
  echo "$SOUNDS: $count sound files; a board has at most $MAX_BUTTONS" >&2
  exit 1
fi
if grep -q "$(printf '\t')" "$LIST"; then
  refuse "$SOUNDS: a file name holds a tab, which no caption line can name"
fi

# Captions: "<name>\t<caption with \n for line breaks>" for every sound, or a
# refusal. Given captions are kept as written apart from their breaks; names
# become words first. Only printable ASCII: the board's font draws nothing else.
CAPTIONS_FILE="$SOUNDS/captions.txt"
[ -f "$CAPTIONS_FILE" ] || CAPTIONS_FILE=/dev/null
# (Paths reach awk through the environment: -v would read escapes in them.)
CAPTIONS_FILE=$CAPTIONS_FILE FOLDER=$SOUNDS LC_ALL=C awk '
  function wrap(text,    n, w, i, line, out, lines) {
    n = split(text, w, " ")
    line = ""; out = ""; lines = 0
    for (i = 1; i <= n; i++) {
      if (w[i] == "") continue
      if (line == "") line = w[i]
      else if (length(line) + 1 + length(w[i]) <= 12) line = line " " w[i]
      else { out = out (lines ? "\\n" : "") line; lines++; line = w[i] }
    }
    if (line != "") { out = out (lines ? "\\n" : "") line }
    return out
  }
  # "" if the caption keeps the rules, else the rule it breaks.
  function broken(caption,    parts, n, i, total) {
    if (caption ~ /[^ -~]/) return "it holds characters other than printable ASCII, which the board font cannot draw"
    n = split(caption, parts, /\\n/)
    if (n < 1 || n > 4) return "a caption has 1 to 4 lines"
    total = 0
    for (i = 1; i <= n; i++) {
      if (length(parts[i]) > 12) return "a line has at most 12 characters"
      total += length(parts[i])
    }
    if (total < 1) return "a caption is not empty"
    if (total > 27) return "a caption has at most 27 characters in all"
    return ""
  }
  BEGIN {
    captions = ENVIRON["CAPTIONS_FILE"]; folder = ENVIRON["FOLDER"]
    while ((getline row < captions) > 0) {
      lineno++
      if (row ~ /^#/ || row ~ /^[ \t]*$/) continue
      tab = index(row, "\t")
      if (tab < 2) { printf "%s/captions.txt line %d: expected \"<file name><TAB><caption>\"\n", folder, lineno > "/dev/stderr"; bad = 1; continue }
      n = substr(row, 1, tab - 1)
      given[n] = substr(row, tab + 1); line_of[n] = lineno
    }
  }
  { known[$0] = 1 }
  {
    name = $0
    if (name in given) {
      c = given[name]
      if (c !~ /\\n/) c = wrap(c)
      from = "captions.txt gives"
    } else {
      c = name
      sub(/\.[^.]*$/, "", c)
      gsub(/[_-]/, " ", c)
      c = wrap(c)
      from = "the file name gives"
    }
    gsub(/^ +| +$/, "", c)
    why = broken(c)
    if (why != "") {
      printf "%s/%s: %s the caption \"%s\", which cannot fit a button: %s (give one in captions.txt)\n", folder, name, from, c, why > "/dev/stderr"
      bad = 1
      next
    }
    if (c in owner) {
      printf "%s/%s: same caption \"%s\" as %s; every button needs its own caption\n", folder, name, c, owner[c] > "/dev/stderr"
      bad = 1
      next
    }
    owner[c] = name
    print name "\t" c
  }
  END {
    for (n in given) if (!(n in known)) {
      printf "%s/captions.txt line %d: names %s, which is not a sound in the folder\n", folder, line_of[n], n > "/dev/stderr"
      bad = 1
    }
    exit bad
  }' "$LIST" >"$LIST.caps" || refused=1

# Little-endian 16 and 32-bit words for the WAV header.
le16() { printf "\\$(printf %03o $(($1 & 255)))\\$(printf %03o $((($1 >> 8) & 255)))"; }
le32() { le16 $(($1 & 65535)); le16 $((($1 >> 16) & 65535)); }

CLIPS="$OUT/board/clips"
rm -rf "$OUT/board"
mkdir -p "$CLIPS" || exit 1
k=0
while IFS= read -r name; do
  f="$SOUNDS/$name"
  clip=$(printf 'vostrel_%02d.wav' "$k")
  k=$((k + 1))
  if [ ! -s "$f" ]; then
    refuse "$f: empty file; every sound needs something to hear"
    continue
  fi
  # Raw samples, so the header below is the only one: sox would copy a
  # source's tags into a LIST chunk.
  if ! sox -V1 --no-glob "$f" -t raw -r 22050 -c 1 -b 16 -e signed-integer -L "$LIST.raw" \
    silence 1 0.02 0.5% 2>"$LIST.err"; then
    refuse "$f: not an audio file sox can read ($(tr '\n' ' ' <"$LIST.err" | sed 's/ *$//'))"
    continue
  fi
  bytes=$(wc -c <"$LIST.raw")
  if [ "$bytes" -lt 2 ]; then
    refuse "$f: silent (nothing above 0.5% of full scale); every sound needs something to hear"
    continue
  fi
  {
    printf 'RIFF'; le32 $((36 + bytes)); printf 'WAVEfmt '; le32 16
    le16 1; le16 1; le32 22050; le32 44100; le16 2; le16 16
    printf 'data'; le32 "$bytes"
    cat "$LIST.raw"
  } >"$CLIPS/$clip"
done <"$LIST"

if [ "$refused" -ne 0 ]; then
  rm -rf "$OUT/board"
  echo "no board built" >&2
  exit 1
fi

# board.txt, pasted into C++ by tools/assets.cmake through a CMake list: the
# characters either might read (backslash, quote, semicolon, brackets, @) are
# written as octal escapes, which the C++ string turns back.
k=0
while IFS="$(printf '\t')" read -r name caption; do
  esc=$(printf '%s' "$caption" | sed 's/\\n/\n/g' | sed 's/\\/\\134/g; s/"/\\042/g; s/;/\\073/g; s/\[/\\133/g; s/\]/\\135/g; s/@/\\100/g' | sed ':a;N;$!ba;s/\n/\\n/g')
  printf 'vostrel_%02d.wav\t%s\n' "$k" "$esc"
  k=$((k + 1))
done <"$LIST.caps" >"$OUT/board/board.txt"

[ -n "$FRAMEWORK_BUILD" ] || exit 0

FRAMEWORK_BUILD=$(cd "$FRAMEWORK_BUILD" && pwd)
if [ ! -f "$FRAMEWORK_BUILD/libvostrel_framework.a" ]; then
  echo "$FRAMEWORK_BUILD/libvostrel_framework.a missing: build the target vostrel_framework first" >&2
  exit 1
fi
cmake -S "$HERE" -B "$OUT" -DVOSTREL_SOURCE_DIR="$SOURCE" \
  -DVOSTREL_FRAMEWORK_BUILD="$FRAMEWORK_BUILD" -DVOSTREL_BOARD_DIR="$(cd "$OUT/board" && pwd)" \
  >"$OUT/configure.log" 2>&1 || { cat "$OUT/configure.log" >&2; exit 1; }
cmake --build "$OUT" -j2 || exit 1
OUT_ABS=$(cd "$OUT" && pwd)
echo
echo "Your board ($count buttons): $OUT_ABS/vostrel-soundboard"
echo "Install it for yourself:  cmake --install $OUT --prefix ~/.local"
echo "or for everyone:          sudo cmake --install $OUT --prefix /usr/local"
