#!/bin/bash
# A real small volume for the free-space routes of the file operations: a
# tmpfs of a few MB, mapped into a tree's Wine prefix as a drive letter of
# type "floppy" (so Windows programs see DRIVE_REMOVABLE).
#
#   small_volume.sh setup   DIR PREFIX DRIVE WINE_RUN
#   small_volume.sh cleanup DIR PREFIX DRIVE WINE_RUN
#
# DRIVE is a letter and colon ("t:"). Setup never fails: when the volume
# cannot be made (not root, no tmpfs) it says why and the tests that need
# it skip, finding no marker file on the drive.
set -u

action=$1
dir=$2
prefix=$(mkdir -p "$3" && cd "$3" && pwd)
drive=$4
wine_run=$5
size=3m
marker="$dir/.tdz-small-volume"

# Wine learns of a drive letter and its type when its wineserver starts (a
# link made later is a fixed drive). So the link stays between runs (to the
# empty mount point), and only when the link or the type had to be made is
# the server restarted, which ends every Wine program of the prefix; the
# session's idle keeper program (see tools/wine-run.sh) is then started
# again, or every later test pays for Wine's background processes starting
# and stopping.
keeper_running() {
    local proc
    for proc in /proc/[0-9]*; do
        tr '\0' '\n' 2>/dev/null <"$proc/cmdline" | grep -q 'tdz-keeper.exe' || continue
        tr '\0' '\n' 2>/dev/null <"$proc/environ" | grep -qx "WINEPREFIX=$prefix" && return 0
    done
    return 1
}

map_drive() {
    local changed=0
    if [ "$(readlink "$prefix/dosdevices/$drive" 2>/dev/null)" != "$dir" ]; then
        mkdir -p "$prefix/dosdevices"
        ln -sfn "$dir" "$prefix/dosdevices/$drive" || return 1
        changed=1
    fi
    if ! "$wine_run" --prefix "$prefix" reg query 'HKLM\Software\Wine\Drives' /v "$drive" 2>/dev/null |
        grep -qi floppy; then
        "$wine_run" --prefix "$prefix" reg add 'HKLM\Software\Wine\Drives' /v "$drive" /t REG_SZ /d floppy /f \
            >/dev/null 2>&1 || return 1
        changed=1
    fi
    [ $changed -eq 1 ] || return 0
    local keeper=0
    keeper_running && keeper=1
    "$wine_run" --prefix "$prefix" --kill
    if [ $keeper -eq 1 ]; then
        "$wine_run" --prefix "$prefix" "$prefix/tdz-keeper.exe" </dev/null >/dev/null 2>&1 &
        "$wine_run" --prefix "$prefix" cmd /c exit </dev/null >/dev/null 2>&1
    fi
    return 0
}

case "$action" in
setup)
    mountpoint -q "$dir" 2>/dev/null && umount "$dir" 2>/dev/null
    mkdir -p "$dir" || exit 0
    if [ "$(id -u)" -ne 0 ]; then
        echo "small volume: not running as root, cannot mount a tmpfs; the small-volume tests will skip"
        exit 0
    fi
    if ! err=$(mount -t tmpfs -o size=$size tmpfs "$dir" 2>&1); then
        echo "small volume: mount -t tmpfs failed ($err); the small-volume tests will skip"
        exit 0
    fi
    if ! map_drive; then
        echo "small volume: could not set the drive type of $drive in $prefix; the small-volume tests will skip"
        exit 0
    fi
    touch "$marker"
    echo "small volume: $size tmpfs at $dir is drive $drive (floppy)"
    ;;
cleanup)
    if mountpoint -q "$dir" 2>/dev/null; then
        umount "$dir" 2>/dev/null || umount -l "$dir"
    fi
    ;;
*)
    echo "small_volume.sh: unknown action '$action'" >&2
    exit 2
    ;;
esac
exit 0
