#!/bin/bash
# check_exports.sh DLL64 DLL32
# The shell-extension modules export exactly DllGetClassObject and
# DllCanUnloadNow, undecorated, and nothing else (no self-registration).
# Exits 77 (skipped) when the 64-bit module passes but the 32-bit tree has
# not been built.
set -u

failures=0
check() {
  local dll=$1 objdump=$2
  local names
  if ! names=$("$objdump" -p "$dll" 2>&1 | awk '
      /^\[Ordinal\/Name Pointer\] Table/ { in_table = 1; next }
      in_table && /^$/ { in_table = 0 }
      in_table { print $NF }' | sort | tr '\n' ' '); then
    echo "FAIL: $objdump cannot read $dll"
    failures=$((failures + 1))
    return
  fi
  if [ "$names" = "DllCanUnloadNow DllGetClassObject " ]; then
    echo "ok: $(basename "$dll") exports $names"
  else
    echo "FAIL: $(basename "$dll") exports '$names', expected DllCanUnloadNow DllGetClassObject"
    failures=$((failures + 1))
  fi
}

check "$1" x86_64-w64-mingw32-objdump
if [ ! -f "$2" ]; then
  echo "skipped: $2 is not built"
  [ $failures -eq 0 ] && exit 77
else
  check "$2" i686-w64-mingw32-objdump
fi
[ $failures -eq 0 ]
