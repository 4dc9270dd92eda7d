#!/bin/bash
# Kills the restore of a large container on a drive too small for the
# direct route (the container is parked in the temporary folder, then the
# file is written onto the drive) at random moments, then starts
# Decompression.exe anew (its start puts parked copies back), and counts
# where each kill left the file:
#
#   itself      the restored file, byte for byte
#   container   the container, complete, on the drive
#   put back    neither, but a parked copy that the next start put back
#   lost        none of these
#
# Besides, it counts the kills after which the next start left something
# behind: a parked copy although the file or its container is in place, or
# stray files on the drive (a partial hidden output, a reserved name).
#
#   kill-parked-route.sh [--kills N] [--size MB] WIN64_TREE WORK_DIR
#
# WIN64_TREE is a 64-bit build tree (container_file_op.exe,
# Decompression.exe, wineprefix). Needs root (a tmpfs as Wine drive P: of
# type floppy); exits 77 (skipped) without it. Run it under
# tools/with-xvfb.sh: Decompression.exe creates windows. The kill moments
# are random, one in each of N equal slices of an uninterrupted restore.
# Exit status 1 when anything was lost or a parked copy stayed beside the
# file or container it was a copy of.
set -u

kills=20
size_mb=100
while [ $# -gt 2 ]; do
    case "$1" in
    --kills) kills=$2; shift 2 ;;
    --size) size_mb=$2; shift 2 ;;
    *) break ;;
    esac
done
if [ $# -ne 2 ]; then
    echo "usage: kill-parked-route.sh [--kills N] [--size MB] WIN64_TREE WORK_DIR" >&2
    exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
tree=$(cd "$1" && pwd)
work=$(mkdir -p "$2" && cd "$2" && pwd)
prefix=$tree/wineprefix
wine_run=$root/tools/wine-run.sh
file_op=$tree/tests/container/container_file_op.exe
decompression=$tree/src/decompression/Decompression.exe
drive=p:
volume=$work/volume

if [ "$(id -u)" -ne 0 ]; then
    echo "kill-parked-route: not root, cannot mount a tmpfs drive; skipped"
    exit 77
fi
for exe in "$file_op" "$decompression"; do
    [ -f "$exe" ] || { echo "kill-parked-route: $exe not built" >&2; exit 1; }
done

mkdir -p "$work"
cleanup() {
    if mountpoint -q "$volume" 2>/dev/null; then
        umount "$volume" 2>/dev/null || umount -l "$volume"
    fi
}
trap cleanup EXIT

run() { "$wine_run" --prefix "$prefix" "$@" </dev/null; }

# The file: half random bytes, half text, so that its container holds a
# little over half of it. The drive holds the container with less room
# free than the file needs (half the container less), but room for the
# file once the container is gone.
bytes=$((size_mb * 1024 * 1024))
if [ ! -f "$work/big.bin" ] || [ "$(stat -c %s "$work/big.bin")" -ne "$bytes" ]; then
    rm -f "$work/big.bin" "$work/big.bin.tdz"
    { head -c $((bytes / 2)) /dev/urandom
      yes "a line of text that repeats itself, again and again" | head -c $((bytes - bytes / 2)); } \
        >"$work/big.bin"
fi
if [ ! -f "$work/big.bin.tdz" ]; then
    rm -rf "$work/pack" && mkdir -p "$work/pack" && cp "$work/big.bin" "$work/pack/big.bin"
    run "$file_op" compress "Z:$work/pack/big.bin" >/dev/null || { echo "kill-parked-route: compress failed" >&2; exit 1; }
    mv "$work/pack/big.bin.tdz" "$work/big.bin.tdz"
fi
container_bytes=$(stat -c %s "$work/big.bin.tdz")
volume_kb=$(((bytes + container_bytes / 2) / 1024))

# The drive letter and its type come from the small-volume fixture; its
# size is then made ours.
bash "$here/small_volume.sh" setup "$volume" "$prefix" "$drive" "$wine_run" >/dev/null
if [ ! -f "$volume/.tdz-small-volume" ] || ! mount -o remount,size=${volume_kb}k "$volume"; then
    echo "kill-parked-route: no tmpfs drive; skipped"
    exit 77
fi
rm -f "$volume/.tdz-small-volume"

parked_folder() { find "$prefix/drive_c/users" -maxdepth 6 -type d -name 'Tandrel Parked' 2>/dev/null | head -n 1; }
parked_count() {
    local folder
    folder=$(parked_folder)
    [ -n "$folder" ] || { echo 0; return; }
    find "$folder" -maxdepth 1 -name 'tdz*.tmp' | wc -l
}
# Where the file is now: itself, container, or none.
state() {
    if [ -f "$volume/big.bin" ] && cmp -s "$volume/big.bin" "$work/big.bin"; then
        echo itself
    elif [ -f "$volume/big.bin.tdz" ] && cmp -s "$volume/big.bin.tdz" "$work/big.bin.tdz"; then
        echo container
    else
        echo none
    fi
}
reset_drive() {
    find "$volume" -mindepth 1 -delete
    cp "$work/big.bin.tdz" "$volume/big.bin.tdz"
}
new_start() { timeout 120 "$wine_run" --prefix "$prefix" "$decompression" 'Z:\no-such-container.tdz' </dev/null >/dev/null 2>&1; }

# Nothing parked by earlier runs may count for this one.
new_start
folder=$(parked_folder)
[ -n "$folder" ] && [ "$(parked_count)" -ne 0 ] && { echo "kill-parked-route: '$folder' holds copies already" >&2; exit 1; }

# Two restores without a kill: they must take the parked route and
# succeed. The second (Wine and the files warm, as for the kills), and a
# quarter more, sets the range of the kill moments.
took_ms=0
for run_number in 1 2; do
    reset_drive
    start=$(date +%s%N)
    result=$(run "$file_op" decompress "P:\\big.bin.tdz" 2>&1)
    ms=$((($(date +%s%N) - start) / 1000000))
    if [ "$(state)" != itself ] || [ -e "$volume/big.bin.tdz" ]; then
        echo "kill-parked-route: the restore without a kill failed ($result)" >&2
        exit 1
    fi
    took_ms=$ms
done
took_ms=$((took_ms * 5 / 4))
echo "kill-parked-route: ${size_mb} MB file, ${container_bytes}-byte container, ${volume_kb} KB drive; kills within ${took_ms} ms"

itself=0 container=0 put_back=0 lost=0 debris=0 spare=0
for i in $(seq 1 "$kills"); do
    reset_drive
    slice=$((took_ms / kills + 1))
    delay_ms=$(((i - 1) * slice + (RANDOM * 32768 + RANDOM) % slice))
    parked_before=$(parked_count)
    "$wine_run" --prefix "$prefix" "$file_op" decompress "P:\\big.bin.tdz" </dev/null >/dev/null 2>&1 &
    pid=$!
    sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
    kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    before=$(state)
    parked=$(parked_count)
    new_start
    after=$(state)
    left=$(($(parked_count) - parked_before))
    case "$before/$after" in
    itself/itself) itself=$((itself + 1)); what="the file itself" ;;
    container/container) container=$((container + 1)); what="a complete container" ;;
    none/itself | none/container)
        put_back=$((put_back + 1)); what="a parked copy, put back at the next start as the $after" ;;
    *) lost=$((lost + 1)); what="LOST (before the start: $before, after: $after, parked: $parked)" ;;
    esac
    stray=$(find "$volume" -mindepth 1 ! -name big.bin ! -name big.bin.tdz -printf '%f (%s bytes) ')
    [ -n "$stray" ] && debris=$((debris + 1)) && what="$what, stray on the drive: $stray"
    if [ "$left" -gt 0 ]; then
        what="$what, $left parked copy(ies) left"
        [ "$after" != none ] && spare=$((spare + 1))
    fi
    echo "kill $i at ${delay_ms} ms: $what"
done

echo "kill-parked-route: $kills kills: $itself the file itself, $container a complete container," \
    "$put_back a parked copy put back at the next start, $lost lost"
echo "kill-parked-route: after the next start, $spare kill(s) left a parked copy beside the file or container," \
    "$debris left stray files on the drive"
[ "$lost" -eq 0 ] && [ "$spare" -eq 0 ]
