#!/bin/sh
# Takes the screenshot software centres show (packaging/screenshots/connected.png):
# the main window connected to the pump controller of the demo bus, drawn
# by an X server in memory, with a home and XDG folders of its own.
# Needs build/dist (fieldservice, fieldsim, dist); every wait is bounded.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
dist="$root/build/dist"
out="$root/packaging/screenshots/connected.png"
work=$(mktemp -d)
display=":$((90 + $$ % 100))"
pids=""
cleanup() {
  for p in $pids; do kill "$p" 2>/dev/null || true; done
  for p in $pids; do wait "$p" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mkdir -p "$work/inst" "$work/home/.config" "$work/home/.local/share" "$work/home/.local/state" "$work/home/.cache"
for f in install/*; do cp "$dist/$(basename "$f")" "$work/inst/"; done
sed -i 's/^connect_on_startup=.*/connect_on_startup=1/' "$work/inst/config.ini"
printf '\n[Port Devices]\ncom1=%s/bus0\n' "$work" >>"$work/inst/config.ini"

Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids="$!"
"$dist/fieldsim" --link "$work/bus0" "$work/inst/demo.bus" >"$work/sim.log" 2>&1 &
pids="$pids $!"
tries=0
until [ -e "$work/bus0" ] && DISPLAY="$display" xdpyinfo >/dev/null 2>&1; do
  [ "$tries" -lt 50 ] || { echo "screenshot: the X server or fieldsim did not start" >&2; exit 1; }
  sleep 0.1
  tries=$((tries + 1))
done
(cd "$work/inst" && exec env HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" \
  XDG_DATA_HOME="$work/home/.local/share" XDG_STATE_HOME="$work/home/.local/state" \
  XDG_CACHE_HOME="$work/home/.cache" DISPLAY="$display" timeout 60 "$dist/fieldservice") >"$work/fs.log" 2>&1 &
pids="$pids $!"

# connect_on_startup scans the bus; the chooser offers the first device.
window() { DISPLAY="$display" xdotool search --onlyvisible --name "$1" 2>/dev/null | head -1; }
tries=0
until [ -n "$(window 'Devices found')" ] || [ -n "$(DISPLAY="$display" xdotool search --onlyvisible --class fieldservice 2>/dev/null | sed -n 2p)" ]; do
  [ "$tries" -lt 150 ] || { echo "screenshot: no device chooser" >&2; cat "$work/fs.log" >&2; exit 1; }
  sleep 0.1
  tries=$((tries + 1))
done
DISPLAY="$display" xdotool key Return
# The panel fills once the device's identity and status are read.
sleep 4
main=$(window 'Field Service')
[ -n "$main" ] || { echo "screenshot: no main window" >&2; exit 1; }
DISPLAY="$display" import -window "$main" "$out"
identify -format '%wx%h\n' "$out"
