#!/bin/bash
# with-xvfb.sh CMD [ARGS...]
# Runs CMD with an X display. When DISPLAY is already set, CMD simply runs
# there; otherwise a private Xvfb is started on a free display for CMD and
# stopped afterwards. CMD's exit status is passed through.
set -u

if [ $# -eq 0 ]; then
  echo "with-xvfb.sh: nothing to run" >&2
  exit 125
fi

if [ -n "${DISPLAY:-}" ]; then
  exec "$@"
fi

if ! command -v Xvfb >/dev/null 2>&1; then
  echo "with-xvfb.sh: Xvfb not found (run tools/install-deps.sh)" >&2
  exit 125
fi

workdir=$(mktemp -d "${TMPDIR:-/tmp}/with-xvfb.XXXXXX") || exit 125
xvfb_pid=""

cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$workdir"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# -displayfd: Xvfb picks a free display itself and writes its number once it
# accepts connections, so there is no race with another Xvfb starting.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 \
  3>"$workdir/display" >"$workdir/log" 2>&1 &
xvfb_pid=$!

display=""
for _ in $(seq 1 100); do
  display=$(tr -dc '0-9' <"$workdir/display" 2>/dev/null)
  [ -n "$display" ] && break
  if ! kill -0 "$xvfb_pid" 2>/dev/null; then
    echo "with-xvfb.sh: Xvfb failed to start:" >&2
    cat "$workdir/log" >&2
    xvfb_pid=""
    exit 125
  fi
  sleep 0.1
done
if [ -z "$display" ]; then
  echo "with-xvfb.sh: Xvfb did not report a display within 10 s" >&2
  exit 125
fi

export DISPLAY=":$display"
"$@"
exit $?
