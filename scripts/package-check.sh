#!/bin/sh
# Installs the package just built and runs the installed copy as root and as
# an ordinary member of "dialout" with a home and XDG folders of its own, as
# a technician logs in: a batch conversion, a batch load against fieldsim
# whose backup must land in the user's data folder (/opt is not theirs), an
# Options change through the real dialog that must land in the user's
# config.ini and be read back by the program after a restart, and the
# program started off screen. Purges the package and removes the user at the
# end. Needs root (or sudo) to install and to add the user.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
deb=$(ls build/fieldservice_*_amd64.deb | head -1)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"

# The Options check drives the program's own dialog; it is built here, not packaged.
cmake --build build --target options_check >/dev/null

user="fscheck$$"
home="/tmp/$user"
sim=""
# fieldsim runs under runuser in a background shell; its own pid is in sim.pid.
stop_sim() {
  [ -n "$sim" ] || return 0
  [ -s "$home/sim.pid" ] && $SUDO kill "$(cat "$home/sim.pid")" 2>/dev/null
  wait "$sim" 2>/dev/null || true
  sim=""
}
cleanup() {
  stop_sim
  $SUDO dpkg -P fieldservice >/dev/null 2>&1 || true
  if id "$user" >/dev/null 2>&1; then $SUDO userdel "$user" || echo "package-check: user $user left behind" >&2; fi
  $SUDO rm -rf "$home"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
fail() { echo "package-check: $*" >&2; exit 1; }

$SUDO dpkg -i "$deb" >/dev/null || { $SUDO apt-get install -f -y -qq >/dev/null; $SUDO dpkg -i "$deb" >/dev/null; }
fieldservice --version
test -f /usr/share/applications/fieldservice.desktop
test -f /usr/share/man/man1/fieldservice.1.gz
test -f /usr/share/doc/fieldservice/copyright
test -f /usr/share/doc/fieldservice/README.md
cp /opt/fieldservice/config.ini "$root/build/config.ini.installed"

# As root, where the installation is writable.
work=$(mktemp -d)
cp tests/golden/sealed-seed-12345679.NFO "$work/unit.NFO"
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY fieldservice /c 'unit.NFO')
test -s "$work/unit.DOC"
rm -rf "$work"

# The ordinary user.
$SUDO useradd --home-dir "$home" --create-home --groups dialout --shell /bin/sh "$user"
as_user() {
  $SUDO runuser -u "$user" -- env -i HOME="$home" USER="$user" LOGNAME="$user" PATH=/usr/bin:/bin \
    LANG=C.UTF-8 XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share" \
    XDG_STATE_HOME="$home/.local/state" XDG_CACHE_HOME="$home/.cache" XDG_RUNTIME_DIR="$home/.run" "$@"
}
as_user mkdir -p -m 700 "$home/.config" "$home/.local/share" "$home/.local/state" "$home/.cache" "$home/.run"
$SUDO install -o "$user" -m 644 tests/golden/sealed-seed-12345679.NFO "$home/unit.NFO"
$SUDO install -o "$user" -m 755 build/tests/options_check "$home/options_check"
# The device the golden file was saved from, alone on a bus.
$SUDO install -o "$user" -m 644 /dev/stdin "$home/check.bus" <<'BUS'
device 0x1f PUMP01
version 3
release 7
pversion 2
password 17
param 0100 4 0
param 0102 onoff off
BUS

# A batch conversion.
as_user sh -c "cd '$home' && fieldservice /c unit.NFO" || fail "the conversion failed"
test -s "$home/unit.DOC" || fail "no report beside the converted file"

# A batch load against the simulator, with its backup before it.
as_user sh -c "echo \$\$ >'$home/sim.pid'; exec fieldsim --no-pace --restart-ms 100 --link '$home/bus0' '$home/check.bus'" \
  >"$home/sim.out" 2>&1 &
sim=$!
tries=0
until [ -e "$home/bus0" ]; do
  kill -0 "$sim" 2>/dev/null && [ "$tries" -lt 50 ] || { cat "$home/sim.out" >&2; fail "fieldsim did not start"; }
  sleep 0.1
  tries=$((tries + 1))
done
as_user sh -c "cd '$home' && timeout 120 fieldservice --port '$home/bus0' /l unit.NFO" || fail "the load failed"
ls "$home/.local/share/fieldservice/backups/"PUMP01-1F-*.NFO >/dev/null 2>&1 ||
  fail "no backup in the user's data folder"
test ! -e /opt/fieldservice/backups || fail "a backup folder appeared in /opt/fieldservice"
stop_sim

# An Options change: the dialog writes the user's config.ini with that one
# key, the installed file stays as it was, and a restart reads it back.
as_user sh -c "cd /opt/fieldservice && QT_QPA_PLATFORM=offscreen '$home/options_check' ita" >/dev/null ||
  fail "the Options dialog did not take the language"
printf '[BASIC Configurations]\nlanguage=ita\n' | cmp -s - "$home/.config/fieldservice/config.ini" ||
  fail "the user's config.ini is not what the Options dialog chose"
cmp -s /opt/fieldservice/config.ini "$root/build/config.ini.installed" || fail "the installed config.ini changed"
test "$(as_user sh -c "cd /opt/fieldservice && QT_QPA_PLATFORM=offscreen '$home/options_check'")" = "language=ita" ||
  fail "the language chosen was not read back"
# The program itself speaks the language chosen: its batch job tells in Italian.
said=$(as_user sh -c "cd '$home' && fieldservice /c 'none*.NFO'" 2>&1 || true)
expected=$(sed -n 's/^0002>\(.*\)<END>$/\1/p' /opt/fieldservice/messages.ita)
case "$said" in *"$expected"*) ;; *) fail "the program did not read the language back: $said" ;; esac

# The program off screen, started as the user, stays up until stopped.
status=0
as_user sh -c "cd '$home' && DISPLAY=:0 QT_QPA_PLATFORM=offscreen timeout 3 fieldservice" || status=$?
[ "$status" -eq 124 ] || fail "the program ended at start (status $status)"

echo "package: installed, ran as root and as an ordinary user, removed"
