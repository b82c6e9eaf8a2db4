#!/bin/sh
# Fails when one of the given PE files imports a window-system DLL (user32, gdi32, comctl32,
# imm32, uxtheme): the library loads those at its first window only.
#   no_window_imports.sh OBJDUMP FILE...
objdump="$1"
shift
status=0
for file in "$@"; do
    imports="$("$objdump" -p "$file" | sed -n 's/^[[:space:]]*DLL Name: //p')"
    [ -n "$imports" ] || { echo "no import table read from $file" >&2; status=1; continue; }
    bad="$(printf '%s\n' "$imports" | grep -iE '^(user32|gdi32|comctl32|imm32|uxtheme)\.dll$')"
    if [ -n "$bad" ]; then
        echo "$(basename "$file") imports: $bad" >&2
        status=1
    else
        echo "$(basename "$file"): $(printf '%s ' $imports)"
    fi
done
exit $status
