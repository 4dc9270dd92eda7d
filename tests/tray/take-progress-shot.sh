#!/bin/bash
# A picture of the tray program's progress dialog during a whole-drive
# compression, with the balloon that announced the drive (plain X display,
# no desktop: the dialog shows without a title bar).
#
#   take-progress-shot.sh WIN64_TREE DRIVE_DIR DRIVE_LETTER OUT.png LOCALE
#
# Run inside tools/with-xvfb.sh and tools/wine-run.sh --session. The drive
# is emptied and given one large file.
set -u
tree=$1
dir=$2
letter=$3
out=$4
locale=$5
repo=$(cd "$(dirname "$0")/../.." && pwd)
rm -rf "${dir:?}"/*
head -c $((300 * 768 * 1024)) /dev/urandom | base64 -w 76 >"$dir/Quarterly report.txt"
LC_ALL=$locale "$repo/tools/wine-run.sh" --prefix "$tree/wineprefix" "$tree/tests/tray/tray_driver.exe" \
  --drive "$letter" --auto-off --compress-drive >/dev/null 2>&1 &
pid=$!
sleep 6
import -window root -crop 860x580+0+0 "$out"
pkill -9 -f 'tray_driver\.exe --drive'
wait $pid 2>/dev/null
rm -rf "${dir:?}"/*
