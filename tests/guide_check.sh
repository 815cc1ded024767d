#!/bin/sh
# The framework guide's code cannot drift from the framework: every ```cpp
# block of docs/framework.md is compiled on its own against the tree's
# include root (as printed when it has includes of its own, else after every
# public framework header), linked with the built framework and run under the
# display for a second, then asked to quit with SIGTERM: it must still be
# running then and quit with status 0. A block without a main of its own is
# linked with a stand-in (below) that gives APP_NAME, main and the files the
# guide's fragments name as the reader's own (asset_logo_png). Every ```asm
# block is assembled as printed, beside a file of the type it pulls in, and
# linked into every program; its records are read back by a program of their
# own, which finds the file's bytes, name, type and size there, the bytes on
# a 4-byte boundary even after a file of odd length. The ```sh block of the
# GL-symbol check is run too.
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
    /^```sh[ \t]*$/ { s++; file = sprintf("%s/shell%02d.sh", dir, s); inside = 1; next }
    /^```asm[ \t]*$/ { a++; file = sprintf("%s/asm%02d.S", dir, a); inside = 1; next }
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

# What a fragment leaves to the reader's program. Weak, so a block that
# defines one of them keeps its own.
cat >"$work/stand_in.cpp" <<'EOF'
#include <vostrel/assets/assets.h>
#include <vostrel/shell/shell.h>
__attribute__((weak)) extern const char APP_NAME[] = "Guide";
extern "C" __attribute__((weak)) const AssetRecord asset_logo_png = vostrel_asset_button_png;
__attribute__((weak)) int main(int argc, char **argv) { return shell_main(argc, argv); }
EOF

library="$build/libvostrel_framework.a"
[ -f "$library" ] || { echo "FAIL: $library not built" >&2; exit 1; }
sanitize=""
grep -q '^VOSTREL_SANITIZE:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null &&
    sanitize="-fsanitize=address,undefined"

# shellcheck disable=SC2046 # pkg-config's flags are words
set -- -std=c++20 -Wall -Wextra -Werror -Wno-unused -I"$source/src" $sanitize \
    $(pkg-config --cflags sdl SDL_mixer glesv1_cm egl)
# shellcheck disable=SC2046
libs="$library $(pkg-config --libs sdl SDL_mixer glesv1_cm egl) -llodepng -pthread"
"$cxx" "$@" -c "$work/stand_in.cpp" -o "$work/stand_in.o"

# Runs a program in its own folder for a second, then SIGTERM: 1 if it was
# still running and quit with status 0.
run_a_second() {
    dir=$1
    shift
    (cd "$dir" && SDL_AUDIODRIVER=dummy ASAN_OPTIONS=detect_leaks=0 exec "$@" >run.out 2>&1) &
    pid=$!
    sleep 1
    kill -0 "$pid" 2>/dev/null || {
        wait "$pid" || true
        echo "ended before it was asked to:" >&2
        cat "$dir/run.out" >&2
        return 1
    }
    kill -TERM "$pid"
    status=0
    wait "$pid" || status=$?
    [ "$status" -eq 0 ] || {
        echo "quit with status $status:" >&2
        cat "$dir/run.out" >&2
        return 1
    }
}

failed=0
# Assembly blocks: each assembled in a folder holding the file its .incbin
# names (one of the framework's own of that type), and once more renamed
# (<stem> to <stem>_odd) over a 3-byte file, linked first, so that the
# block's own bytes would follow an odd length if it did not align them.
asm_objects=""
asm_count=0
for block in "$work"/asm*.S; do
    [ -f "$block" ] || continue
    asm_count=$((asm_count + 1))
    name=$(basename "$block" .S)
    dir="$work/$name.run"
    mkdir -p "$dir"
    file=$(sed -n 's/^[[:space:]]*\.incbin[[:space:]]*"\([^"]*\)".*/\1/p' "$block")
    record=$(sed -n 's/^[[:space:]]*\.globl[[:space:]]*\([A-Za-z_0-9]*\).*/\1/p' "$block")
    stem=${file%.*}
    type=${file##*.}
    case "$type" in wav) sample=click.wav ;; png) sample=button.png ;; *) sample="" ;; esac
    if [ -z "$file" ] || [ -z "$record" ] || [ -z "$sample" ]; then
        echo "FAIL: assembly block $asm_count of docs/framework.md pulls in no wav or png file, or names no record:" >&2
        cat "$block" >&2
        failed=1
        continue
    fi
    odd_record=$(echo "$record" | sed "s/$stem/${stem}_odd/")
    cp "$source/data/$sample" "$dir/$file"
    printf 'odd' >"$dir/${stem}_odd.$type"
    sed "s/$stem/${stem}_odd/g" "$block" >"$dir/odd.S"
    cat >"$dir/check.cpp" <<EOF
#include <vostrel/assets/assets.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
extern "C" const AssetRecord $record, $odd_record;
static int check(const AssetRecord *r, const char *file) {
    static uint8_t bytes[1 << 20];
    FILE *f = fopen(file, "rb");
    size_t n = f ? fread(bytes, 1, sizeof bytes, f) : 0;
    if (f) fclose(f);
    if (strcmp(r->name, file) != 0 || strcmp(r->type, "$type") != 0 || r->size != n ||
        memcmp(r->data, bytes, n) != 0 || reinterpret_cast<uintptr_t>(r->data) % 4 != 0) {
        printf("%s: name %s, type %s, %u bytes at %p; the file has %zu\\n", file, r->name, r->type,
               static_cast<unsigned>(r->size), static_cast<const void *>(r->data), n);
        return 0;
    }
    return 1;
}
int main() {
    int odd = check(&$odd_record, "${stem}_odd.$type");
    int own = check(&$record, "$file");
    return odd && own ? 0 : 1;
}
EOF
    if ! (cd "$dir" && "$cxx" -c "$block" -o block.o && "$cxx" -c odd.S -o odd.o) 2>"$block.err"; then
        echo "FAIL: assembly block $asm_count of docs/framework.md does not assemble:" >&2
        cat "$block" "$block.err" >&2
        failed=1
    elif ! "$cxx" "$@" -o "$dir/check" "$dir/check.cpp" "$dir/odd.o" "$dir/block.o" 2>"$block.err"; then
        echo "FAIL: the records of assembly block $asm_count of docs/framework.md do not link:" >&2
        cat "$block" "$block.err" >&2
        failed=1
    elif ! (cd "$dir" && ./check) >"$block.err" 2>&1; then
        echo "FAIL: assembly block $asm_count of docs/framework.md makes records unlike their files:" >&2
        cat "$block" "$block.err" >&2
        failed=1
    else
        asm_objects="$asm_objects $dir/block.o"
    fi
done
[ "$asm_count" -ge 1 ] || { echo "FAIL: no asm block found in $guide" >&2; failed=1; }

count=0
for block in "$work"/block*.cpp; do

    [ -f "$block" ] || continue
    count=$((count + 1))
    # A block with includes of its own is a whole file and must compile as
    # printed; the others are fragments, given every public header first.
    include="-include $prelude"
    grep -q '^#include' "$block" && include=""
    name=$(basename "$block" .cpp)
    dir="$work/$name.run"
    mkdir -p "$dir"
    # shellcheck disable=SC2086 # empty or two words; a list of libraries
    if ! "$cxx" "$@" $include -c "$block" -o "$dir/block.o" 2>"$block.err"; then
        echo "FAIL: code block $count of docs/framework.md does not compile:" >&2
        cat "$block" "$block.err" >&2
        failed=1
    elif ! "$cxx" $sanitize -o "$dir/program" "$dir/block.o" "$work/stand_in.o" $asm_objects $libs 2>"$block.err"; then
        echo "FAIL: code block $count of docs/framework.md does not link:" >&2
        cat "$block" "$block.err" >&2
        failed=1
    elif ! run_a_second "$dir" "$dir/program"; then
        echo "FAIL: code block $count of docs/framework.md does not run:" >&2
        cat "$block" >&2
        failed=1
    fi
done
[ "$count" -ge 8 ] || { echo "FAIL: only $count cpp blocks found in $guide" >&2; exit 1; }

# Shell blocks: the ones naming the reader's own files (my_app.*) or a
# program to start are left to the reader; the GL-symbol check is run on the
# first block's object, standing in for my_app.o.
ran=0
for block in "$work"/shell*.sh; do
    [ -f "$block" ] || continue
    if grep -q 'nm -u my_app.o' "$block"; then
        dir="$work/nm.run"
        mkdir -p "$dir"
        cp "$work/block01.run/block.o" "$dir/my_app.o"
        if ! (cd "$dir" && sh -eu "$block" >out 2>&1); then
            echo "FAIL: the GL-symbol check of docs/framework.md does not run:" >&2
            cat "$block" "$dir/out" >&2
            failed=1
        elif [ -s "$dir/out" ] || ! [ -s "$dir/used" ] || ! grep -q '^glPushMatrix$' "$dir/used"; then
            echo "FAIL: the GL-symbol check reads nothing or finds calls outside ES 1.1:" >&2
            cat "$dir/out" "$dir/used" >&2
            failed=1
        else
            ran=$((ran + 1))
        fi
    fi
done
[ "$ran" -ge 1 ] || { echo "FAIL: the GL-symbol check block was not found in $guide" >&2; failed=1; }
[ $failed -eq 0 ] || exit 1
echo "$count code blocks of docs/framework.md compile, link and run; $asm_count assembly block makes its records; $ran shell block run"
