#!/bin/bash
# Pictures of the tray program for the README: the progress dialog during a
# whole-drive compression, the balloon at its end and the tray menu, on a
# Wine desktop with a taskbar, in one interface language.
#
#   take-screenshots.sh WIN64_TREE DRIVE_DIR DRIVE_LETTER OUT_DIR LANG LOCALE
#
# Run inside tools/with-xvfb.sh and tools/wine-run.sh --session. The drive
# is emptied and filled with a large file, so the progress dialog stays up.
set -u
tree=$1
dir=$2
letter=$3
out=$4
lang=$5
locale=$6
repo=$(cd "$(dirname "$0")/../.." && pwd)
run="$repo/tools/wine-run.sh --prefix $tree/wineprefix"
mkdir -p "$out"
rm -rf "${dir:?}"/*
yes "a line of a report that compresses well enough for a picture" | head -c $((120 * 1024 * 1024)) >"$dir/Quarterly report.txt"
yes "notes" | head -c $((64 * 1024)) >"$dir/notes.txt"

LC_ALL=$locale $run explorer /desktop=shell,800x600 "$tree/tests/tray/tray_driver.exe" \
  --drive "$letter" --auto-off --compress-drive --menu-after-batch 700,560 >/dev/null 2>&1 &
pid=$!
sleep 4
import -window root "$out/tray_progress_$lang.png"
# The balloon comes with the end of the batch.
for _ in $(seq 1 60); do
  [ -f "$dir/Quarterly report.txt.tdz" ] && [ ! -f "$dir/Quarterly report.txt" ] && break
  sleep 1
done
sleep 2
import -window root "$out/tray_balloon_$lang.png"
sleep 5
import -window root "$out/tray_menu_$lang.png"
pkill -9 -f tray_driver.exe
$run explorer /desktop=shell,end >/dev/null 2>&1
wait $pid 2>/dev/null
echo "pictures in $out"
