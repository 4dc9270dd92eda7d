#!/bin/bash
# map-test-drives.sh PREFIX FOLDER LETTER:TYPE...
# Maps each LETTER to a folder FOLDER/LETTER in the Wine prefix PREFIX and
# gives it TYPE (floppy: removable, hd: fixed, network, cdrom) under
# HKLM\Software\Wine\Drives. Wine reads the drive types only when its server
# starts, so after a change the server is stopped, which ends every program
# of the prefix: run this alone (ctest RUN_SERIAL), and only when a link or
# a type had to be made. A running session keeper of tools/wine-run.sh is
# started again, so later tests stay fast.
set -u
prefix=$1
folder=$2
shift 2

repo=$(cd "$(dirname "$0")/../.." && pwd)
wine_run="$repo/tools/wine-run.sh --prefix $prefix"
$wine_run --init || exit 1
WINEPREFIX=$(cd "$prefix" && pwd)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
WINE64=$(command -v wine64 || echo /usr/lib/wine/wine64)
WINESERVER=$(command -v wineserver || echo /usr/lib/wine/wineserver)

changed=0
for spec in "$@"; do
  letter=${spec%%:*}
  type=${spec#*:}
  # Every run starts with empty drives.
  rm -rf "${folder:?}/$letter"
  mkdir -p "$folder/$letter" || exit 1
  link="$WINEPREFIX/dosdevices/$letter:"
  if [ "$(readlink "$link" 2>/dev/null)" != "$folder/$letter" ]; then
    rm -f "$link"
    ln -s "$folder/$letter" "$link" || exit 1
    changed=1
  fi
  # system.reg holds the values once a server has saved them.
  if ! grep -A40 -F '[Software\\Wine\\Drives]' "$WINEPREFIX/system.reg" 2>/dev/null |
       grep -qxF "\"$letter:\"=\"$type\""; then
    "$WINE64" reg add 'HKLM\Software\Wine\Drives' /v "$letter:" /d "$type" /f >/dev/null 2>&1 || exit 1
    changed=1
  fi
done

keeper_running() {
  local proc
  for proc in /proc/[0-9]*; do
    tr '\0' '\n' 2>/dev/null <"$proc/cmdline" | grep -q 'tdz-keeper.exe' || continue
    tr '\0' '\n' 2>/dev/null <"$proc/environ" | grep -qx "WINEPREFIX=$WINEPREFIX" && return 0
  done
  return 1
}

if [ $changed -eq 1 ]; then
  keeper=0
  keeper_running && keeper=1
  "$WINESERVER" -k >/dev/null 2>&1
  "$WINESERVER" -w >/dev/null 2>&1
  if [ $keeper -eq 1 ]; then
    keeper="$WINEPREFIX/tdz-keeper.exe"
    "$WINE64" "$keeper" </dev/null >/dev/null 2>&1 &
    "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1
  fi
fi
echo "test drives mapped in $WINEPREFIX: $*"
