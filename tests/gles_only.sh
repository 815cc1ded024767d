#!/bin/sh
# The drawing code keeps to OpenGL ES 1.1 and EGL:
# - no source or header of the framework, the board, the tour, the tests or
#   the benchmarks includes a desktop GL header (<GL/...>, GLX);
# - every gl*/egl* symbol the framework library, the board's and the tour's
#   objects and the programs need is one that libGLESv1_CM or libEGL exports,
#   so nothing desktop-only hides in an object no program happens to pull in;
# - the programs load libGLESv1_CM and libEGL, and never libGL or libOpenGL.
# Usage: gles_only.sh <build dir> <source dir>
set -eu
build=$1
source=$2
work=$(mktemp -d /tmp/vostrel-gles.XXXXXX)
trap 'rm -rf "$work"' EXIT
status=0

fail() {
    echo "FAIL: $*" >&2
    status=1
}

for folder in src app examples tests bench; do
    [ -d "$source/$folder" ] || continue
    hits=$(grep -rnE '#[[:space:]]*include[[:space:]]*[<"](GL/|GL\.h|glx|SDL_opengl)' \
        "$source/$folder" --include='*.cpp' --include='*.h' || true)
    [ -z "$hits" ] || fail "desktop GL header included: $hits"
done

program=$build/vostrel-soundboard
tour=$build/examples/tour/vostrel-tour
for binary in "$program" "$tour"; do
    [ -x "$binary" ] || {
        fail "missing program $binary"
        continue
    }
    needed=$(readelf -d "$binary" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')
    echo "$needed" | grep -q '^libGLESv1_CM\.so' || fail "$binary does not link libGLESv1_CM"
    echo "$needed" | grep -q '^libEGL\.so' || fail "$binary does not link libEGL"
    ! echo "$needed" | grep -qE '^lib(GL|OpenGL|GLX)\.so' || fail "$binary links desktop GL: $needed"
done

# What the two ES libraries export, as the programs resolve them.
libs=$(ldd "$program" | awk '/libGLESv1_CM\.so|libEGL\.so/ {print $3}')
[ -n "$libs" ] || fail "ldd finds neither libGLESv1_CM nor libEGL for $program"
for lib in $libs; do
    nm -D --defined-only "$lib" | awk '{print $NF}'
done | sort -u >"$work/exported"
grep -q '^glOrthof$' "$work/exported" || fail "glOrthof is not among the exports read"

# Undefined gl*/egl* symbols of everything that draws.
objects=$(find "$build/CMakeFiles/vostrel_board.dir" "$build/examples/tour" -name '*.o' 2>/dev/null)
# shellcheck disable=SC2086 # a list of files
nm -u "$build/libvostrel_framework.a" $objects "$program" "$tour" 2>/dev/null |
    awk '{print $NF}' | sed 's/@.*//' | grep -E '^(gl|egl)[A-Z]' | sort -u >"$work/used"
[ -s "$work/used" ] || fail "no GL symbol found in the objects: the scan reads nothing"
grep -q '^glDrawArrays$\|^glDrawElements$' "$work/used" || fail "the scan missed the draw calls"
extra=$(comm -23 "$work/used" "$work/exported")
[ -z "$extra" ] || fail "GL symbols outside OpenGL ES 1.1 and EGL: $(echo "$extra" | tr '\n' ' ')"

[ $status -eq 0 ] && echo "drawing code: ES 1.1 headers only; $(wc -l <"$work/used") gl/egl symbols, all in libGLESv1_CM and libEGL"
exit $status
