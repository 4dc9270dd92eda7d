#!/bin/bash
# Runs Windows programs in a Wine prefix of a build tree, never in ~/.wine.
#
#   wine-run.sh --prefix DIR PROGRAM [ARGS...]   run one program, pass its exit status
#   wine-run.sh --prefix DIR --init              create the prefix if it is not there yet
#   wine-run.sh --prefix DIR --kill              stop the prefix's wineserver
#   wine-run.sh --prefix DIR --session CMD...    init, run CMD (e.g. ctest) with the
#                                                prefix exported, stop wineserver after
#
# The prefix is created on first use under a lock, so parallel test runs
# share one creation. Creating it takes several seconds; do it (--init or
# --session) before ctest's test discovery to keep that out of its timeout.
set -u

prefix=""
if [ "${1:-}" = "--prefix" ] && [ $# -ge 2 ]; then
  prefix=$2
  shift 2
fi
if [ -z "$prefix" ]; then
  echo "wine-run.sh: --prefix DIR is required" >&2
  exit 125
fi
if [ $# -eq 0 ]; then
  echo "wine-run.sh: nothing to run" >&2
  exit 125
fi

mkdir -p "$prefix" || exit 125
WINEPREFIX=$(cd "$prefix" && pwd) || exit 125
export WINEPREFIX
export WINEDEBUG=-all
# Skip the Mono and Gecko installers: nothing here needs .NET or HTML.
export WINEDLLOVERRIDES="mscoree,mshtml="

WINE64=$(command -v wine64 || true)
[ -n "$WINE64" ] || WINE64=/usr/lib/wine/wine64
WINESERVER=$(command -v wineserver || true)
[ -n "$WINESERVER" ] || WINESERVER=/usr/lib/wine/wineserver
if [ ! -x "$WINE64" ]; then
  echo "wine-run.sh: wine64 not found (run tools/install-deps.sh)" >&2
  exit 125
fi

stamp="$WINEPREFIX/.tdz-ready"

stop_server() {
  "$WINESERVER" -k >/dev/null 2>&1
  "$WINESERVER" -w >/dev/null 2>&1
}

init_prefix() {
  [ -f "$stamp" ] && return 0
  (
    flock 9
    if [ ! -f "$stamp" ]; then
      echo "wine-run.sh: creating Wine prefix $WINEPREFIX" >&2
      "$WINE64" wineboot --init >/dev/null 2>&1
      # wineboot is done once it returns; the server saves the registry when
      # stopped, which is seconds sooner than waiting for it to idle out.
      stop_server
      if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "wine-run.sh: wineboot did not create the prefix" >&2
        exit 1
      fi
      touch "$stamp"
    fi
  ) 9>"$WINEPREFIX/.tdz-lock"
}

# Wine's own background processes (services.exe, winedevice.exe ...) start
# with the first program of a wineserver's life and end a few seconds after
# the last one. Started by a test, they inherit its output pipe, and ctest
# waits for them: 3-4 s per test instead of 0.1 s. A session therefore keeps
# one idle program alive, started with no pipes attached, so the background
# processes belong to it and stay up until the session ends.
#
# The same holds for the desktop process that the first window of a
# server's life starts: the keeper makes one window first, so the desktop
# process is its child too, not a test's that ctest would then wait for
# until the test's time runs out.
start_keeper() {
  local keeper="$WINEPREFIX/tdz-keeper.exe"
  local source='#include <windows.h>\nint main(void) { CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, NULL, NULL, NULL, NULL); Sleep(INFINITE); return 0; }\n'
  if [ ! -f "$keeper" ] || [ "$(cat "$WINEPREFIX/tdz-keeper.c" 2>/dev/null)" != "$(printf "$source")" ]; then
    printf "$source" >"$WINEPREFIX/tdz-keeper.c"
    x86_64-w64-mingw32-gcc -O2 -s -o "$keeper" "$WINEPREFIX/tdz-keeper.c" -luser32 || return 1
  fi
  "$WINE64" "$keeper" </dev/null >/dev/null 2>&1 &
  # Returns once the background processes run.
  "$WINE64" cmd /c exit </dev/null >/dev/null 2>&1
}

case "$1" in
  --init)
    init_prefix
    exit $?
    ;;
  --kill)
    stop_server
    exit 0
    ;;
  --session)
    shift
    init_prefix || exit 125
    # Nothing of the session may linger, also when it is interrupted.
    trap stop_server EXIT
    trap 'exit 130' INT TERM
    start_keeper
    "$@"
    exit $?
    ;;
esac

init_prefix || exit 125
exec "$WINE64" "$@"
