#!/bin/sh
# Runs walk_windows.py on an X server and a D-Bus session of its own, so the
# accessibility bus it starts is the test's alone:
#   sh tests/a11y/run.sh DIST WINDOW [--dump FILE]
set -u
here=$(cd "$(dirname "$0")" && pwd)
fd=$(mktemp)
Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp >"$fd" 2>/dev/null &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; rm -f "$fd"' EXIT
tries=0
while [ ! -s "$fd" ]; do
  if ! kill -0 "$xvfb" 2>/dev/null || [ "$tries" -ge 100 ]; then
    echo "FAIL: Xvfb did not start" >&2
    exit 1
  fi
  sleep 0.1
  tries=$((tries + 1))
done
DISPLAY=:$(head -n1 "$fd")
export DISPLAY
# The session's bus and the accessibility bus end with the script.
timeout 120 dbus-run-session -- /usr/bin/python3 "$here/walk_windows.py" "$@"
