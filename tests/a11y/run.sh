#!/bin/sh
# Runs walk_windows.py on an X server and a D-Bus session of its own (the
# accessibility bus starts in it on demand):
#   sh tests/a11y/run.sh DIST WINDOW [--dump FILE]
# -noreset: the server would reset when the accessibility bus launcher, its
# first client, lets go, dropping the program connecting at that moment.
set -u
# Under AddressSanitizer: the keyboard library that Qt's X11 plugin loads
# reads past a string it hands to strndup; that is not ours to mend.
if [ -n "${ASAN_OPTIONS:-}" ]; then
  export ASAN_OPTIONS="$ASAN_OPTIONS:intercept_strndup=0"
fi
display=$(mktemp)
out=$(mktemp)
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$display" >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$xvfb"; wait "$xvfb"; rm -f "$display" "$out"' EXIT
tries=0
until [ -s "$display" ] || [ "$tries" -ge 100 ]; do sleep 0.1; tries=$((tries + 1)); done
[ -s "$display" ] || { echo "FAIL: Xvfb did not start" >&2; exit 1; }
DISPLAY=":$(head -n1 "$display")" timeout 120 dbus-run-session -- \
  /usr/bin/python3 "$(dirname "$0")/walk_windows.py" "$@" >"$out" 2>&1
status=$?
grep -v -e "fd limit" -e "ctivat" -e "SpiRegistry" -e "X connection to" "$out"   # the buses' chatter
exit "$status"
