#!/bin/sh
# Runs walk_windows.py on an X server and a D-Bus session of its own, so the
# accessibility bus it starts is the test's alone:
#   sh tests/a11y/run.sh DIST WINDOW [--dump FILE]
# The display is picked at random above the ones desktops and other test
# runs take, and a taken one is passed over. -noreset: the server would
# reset when the accessibility bus launcher, its first client, lets go,
# and drop the program connecting at that moment.
set -u
here=$(cd "$(dirname "$0")" && pwd)
xvfb=""
log=$(mktemp)
trap '[ -n "$xvfb" ] && kill "$xvfb" 2>/dev/null; [ -n "$xvfb" ] && wait "$xvfb" 2>/dev/null; rm -f "$log"' EXIT
for attempt in 1 2 3 4 5 6 7 8 9 10; do
  n=$(( $(od -An -N2 -tu2 /dev/urandom) % 800 + 150 ))
  [ -e "/tmp/.X$n-lock" ] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >"$log" 2>&1 &
  xvfb=$!
  tries=0
  while kill -0 "$xvfb" 2>/dev/null && [ ! -S "/tmp/.X11-unix/X$n" ] && [ "$tries" -lt 100 ]; do
    sleep 0.1
    tries=$((tries + 1))
  done
  if kill -0 "$xvfb" 2>/dev/null && [ -S "/tmp/.X11-unix/X$n" ]; then break; fi
  kill "$xvfb" 2>/dev/null
  wait "$xvfb" 2>/dev/null
  xvfb=""
done
if [ -z "$xvfb" ]; then
  echo "FAIL: no X server could be started" >&2
  exit 1
fi
DISPLAY=":$n"
export DISPLAY
# The session's bus and the accessibility bus end with the script; their
# start-up chatter is left out of the output.
out=$(mktemp)
timeout 120 dbus-run-session -- /usr/bin/python3 "$here/walk_windows.py" "$@" >"$out" 2>&1
status=$?
kill -0 "$xvfb" 2>/dev/null || { echo "Xvfb :$n ended:"; cat "$log"; }
grep -v -e "Failed to set fd limit" -e "Activating service" -e "Successfully activated" \
  -e "SpiRegistry daemon" -e "X connection to" "$out"
rm -f "$out"
exit "$status"
