#!/bin/sh
# The framework guide's code cannot drift from the framework: every ```cpp
# block of docs/framework.md is compiled on its own against the tree.s
# include root: as printed when it has includes of its own, else after every
# public framework header.
# Usage: guide_check.sh <source dir> <build dir> <C++ compiler>
set -eu
source=$1
build=$2
cxx=$3
work=$(mktemp -d /tmp/vostrel-guide.XXXXXX)
trap 'rm -rf "$work"' EXIT

guide="$source/docs/framework.md"
awk -v dir="$work" '
    /^```cpp[ \t]*$/ { n++; file = sprintf("%s/block%02d.cpp", dir, n); inside = 1; next }
    /^```/ && inside { inside = 0; close(file); next }
    inside { print > file }
' "$guide"

prelude="$work/prelude.h"
for header in "$source"/src/vostrel/*/*.h; do
    folder=$(basename "$(dirname "$header")")
    case "$header" in *_internal.h) continue ;; esac
    echo "#include <vostrel/$folder/$(basename "$header")>"
done >"$prelude"
printf '#include <GLES/gl.h>\n#include <string.h>\n' >>"$prelude"

# shellcheck disable=SC2046 # pkg-config's flags are words
set -- -std=c++20 -fsyntax-only -Wall -Wextra -Werror -Wno-unused -I"$source/src" \
    $(pkg-config --cflags sdl SDL_mixer)
count=0
failed=0
for block in "$work"/block*.cpp; do
    [ -f "$block" ] || continue
    count=$((count + 1))
    # A block with includes of its own is a whole file and must compile as
    # printed; the others are fragments, given every public header first.
    include="-include $prelude"
    grep -q '^#include' "$block" && include=""
    # shellcheck disable=SC2086 # empty or two words
    if ! "$cxx" "$@" $include "$block" 2>"$block.err"; then
        echo "FAIL: code block $count of docs/framework.md does not compile:" >&2
        cat "$block" >&2
        cat "$block.err" >&2
        failed=1
    fi
done
[ "$count" -ge 7 ] || { echo "FAIL: only $count cpp blocks found in $guide" >&2; exit 1; }
[ $failed -eq 0 ] || exit 1
echo "$count code blocks of docs/framework.md compile"
