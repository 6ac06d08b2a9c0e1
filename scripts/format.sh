#!/usr/bin/env bash
# Formats every C and C++ file the repository tracks with clang-format-14 and
# the root .clang-format. With --check nothing is changed: the files that
# differ from their formatted form are listed and the exit status is 1.
#
#   bash scripts/format.sh           # format the tree in place
#   bash scripts/format.sh --check   # what CI runs
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

CLANG_FORMAT="${CLANG_FORMAT:-clang-format-14}"
if ! command -v "$CLANG_FORMAT" >/dev/null; then
    echo "format: $CLANG_FORMAT not found (Debian package clang-format-14)" >&2
    exit 2
fi

mapfile -t files < <(git ls-files -- '*.c' '*.cpp' '*.h' '*.hpp' ':!:fuzz/corpus/*')

if [ "${1:-}" = "--check" ]; then
    bad=()
    for f in "${files[@]}"; do
        [ -f "$f" ] || continue
        if ! "$CLANG_FORMAT" --style=file "$f" | cmp -s - "$f"; then bad+=("$f"); fi
    done
    if [ ${#bad[@]} -gt 0 ]; then
        printf 'format: not formatted: %s\n' "${bad[@]}" >&2
        echo "format: run 'bash scripts/format.sh' and commit the result" >&2
        exit 1
    fi
    echo "format: ${#files[@]} files formatted"
    exit 0
fi

existing=()
for f in "${files[@]}"; do [ -f "$f" ] && existing+=("$f"); done
"$CLANG_FORMAT" --style=file -i "${existing[@]}"
echo "format: ${#existing[@]} files"
