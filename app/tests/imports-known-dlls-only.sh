#!/usr/bin/env bash
# imports-known-dlls-only.sh OBJDUMP PROGRAM: the program imports at load time only DLLs
# that every Windows from Vista on takes from the system directory alone (its known DLLs).
# Any other DLL a planted copy beside the downloaded program could stand in for.
set -euo pipefail
known=" KERNEL32.DLL USER32.DLL GDI32.DLL ADVAPI32.DLL MSVCRT.DLL "
imports=$("$1" -p "$2" | sed -nE 's/^\s*DLL Name: (.*)$/\1/p' | tr '[:lower:]' '[:upper:]')
[ -n "$imports" ] || { echo "no import table read from $2"; exit 1; }
status=0
for dll in $imports; do
    if [[ $known != *" $dll "* ]]; then
        echo "imported at load time, not a known DLL: $dll"
        status=1
    fi
done
exit $status
