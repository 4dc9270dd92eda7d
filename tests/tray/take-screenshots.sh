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
# Text that compresses slowly enough for the dialog to be seen.
head -c $((300 * 768 * 1024)) /dev/urandom | base64 -w 76 >"$dir/Quarterly report.txt"
yes "notes" | head -c $((64 * 1024)) >"$dir/notes.txt"

LC_ALL=$locale $run explorer /desktop=shell,800x600 "$tree/tests/tray/tray_driver.exe" \
  --drive "$letter" --auto-off --compress-drive --menu-after-batch 700,560 >/dev/null 2>&1 &
pid=$!
sleep 7
import -window root -crop 800x600+0+0 "$out/tray_progress_$lang.png"
# The balloon comes with the end of the batch.
for _ in $(seq 1 60); do
  [ -f "$dir/Quarterly report.txt.tdz" ] && [ ! -f "$dir/Quarterly report.txt" ] && break
  sleep 1
done
sleep 1
import -window root -crop 800x600+0+0 "$out/tray_balloon_$lang.png"
sleep 6
import -window root -crop 800x600+0+0 "$out/tray_menu_$lang.png"
pkill -9 -f tray_driver.exe
$run explorer /desktop=shell,end >/dev/null 2>&1
wait $pid 2>/dev/null
echo "pictures in $out"
