#!/bin/sh
# The framework stands apart from what is built on it: no file under src/
# includes a file of the application (app/), the tests (tests/), the
# benchmarks (bench/) or the examples (examples/), however the include is
# written. A quoted include is resolved beside the including file, then from
# the include root; an angled one from the include root. Anything that lands
# outside src/, or names one of those folders, fails.
# Usage: framework_apart.sh <source dir>
set -eu
source=$(cd "$1" && pwd -P)
root=$source/src
status=0
count=0

fail() {
    echo "FAIL: $*" >&2
    status=1
}

inside_root() {
    case "$1" in "$root"/*) return 0 ;; *) return 1 ;; esac
}

list=$(mktemp /tmp/vostrel-apart.XXXXXX)
trap 'rm -f "$list"' EXIT
find "$root" -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' -o -name '*.inc' \) >"$list"
[ -s "$list" ] || fail "no framework file found under $root"

while IFS= read -r file; do
    dir=$(dirname "$file")
    sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*\([<"][^>"]*[>"]\).*/\1/p' "$file" >"$list.inc"
    while IFS= read -r written; do
        count=$((count + 1))
        name=${written#?}
        name=${name%?}
        where="${file#"$source"/}: #include $written"
        case "/$name" in
            */app/* | */tests/* | */bench/* | */examples/*) fail "$where names a folder outside the framework"; continue ;;
        esac
        for folder in app tests bench examples; do
            if [ -e "$source/$folder/$name" ]; then fail "$where is a file of $folder/"; fi
        done
        case "$written" in
            \"*)
                if [ -e "$dir/$name" ]; then
                    resolved=$(realpath -m "$dir/$name")
                    inside_root "$resolved" || fail "$where resolves outside src/ ($resolved)"
                elif [ -e "$root/$name" ]; then
                    :
                else
                    fail "$where names no file of the framework"
                fi
                ;;
            \<vostrel/*)
                [ -e "$root/$name" ] || fail "$where names no file under src/"
                ;;
        esac
    done <"$list.inc"
done <"$list"
rm -f "$list.inc"

[ "$count" -ge 100 ] || fail "only $count include lines read under src/: the scan reads nothing"
[ $status -eq 0 ] && echo "framework: $count include lines, none reaching app/, tests/, bench/ or examples/"
exit $status
