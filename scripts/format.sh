#!/usr/bin/env bash
# Lays out the C and C++ sources by the root's .clang-format (clang-format -i).  With --check it
# changes nothing: it names each file whose layout differs and fails (clang-format --dry-run
# --Werror); scripts/test.sh runs it so.
# The files: every .cpp, .h and .c the repository tracks (outside a git checkout, those under the
# root outside build/).  A folder whose own .clang-format says DisableFormat keeps its layout.
#   scripts/format.sh            apply the layout
#   scripts/format.sh --check    check it
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
cd "$root"

mode=apply
case "${1:-}" in
    "") ;;
    --check) mode=check ;;
    *) echo "usage: scripts/format.sh [--check]" >&2; exit 2 ;;
esac
if ! command -v clang-format >/dev/null 2>&1; then
    echo "error: clang-format is not installed (scripts/lib.sh zuk_install_packages installs it)" >&2
    exit 1
fi

files=()
if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    while IFS= read -r -d '' f; do
        [ -f "$f" ] && files+=("$f")
    done < <(git ls-files -z -- '*.cpp' '*.h' '*.c')
else
    while IFS= read -r -d '' f; do
        files+=("${f#./}")
    done < <(find . -path ./build -prune -o -path ./.git -prune -o \
                  -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.c' \) -print0 | sort -z)
fi

if [ "$mode" = apply ]; then
    printf '%s\0' "${files[@]}" | xargs -0 -n 50 clang-format -i --style=file
    echo "Laid out ${#files[@]} files by .clang-format"
    exit 0
fi

# One line per file that differs, with its count of spots (clang-format prints each spot with its
# source line).
status=0
out="$(printf '%s\0' "${files[@]}" | xargs -0 -n 50 clang-format --dry-run --Werror --style=file 2>&1)" ||
    status=$?
differing="$(grep -oE '^[^ :]+\.(cpp|h|c):[0-9]+:[0-9]+: (error|warning): code should be clang-formatted' \
             <<<"$out" | cut -d: -f1 | uniq -c || true)"
if [ -n "$differing" ]; then
    echo "Files whose layout differs from .clang-format (spots in each; scripts/format.sh lays them out):"
    echo "$differing"
    echo "FAIL: $(wc -l <<<"$differing") of ${#files[@]} files differ from .clang-format"
    exit 1
fi
if [ "$status" -ne 0 ]; then
    head -n 20 <<<"$out" >&2
    echo "FAIL: clang-format could not check the files" >&2
    exit 1
fi
echo "All ${#files[@]} files follow .clang-format"
