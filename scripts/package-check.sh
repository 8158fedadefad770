#!/bin/sh
# Checks the package just built (scripts/package.sh): lintian must report no
# error and no warning, and the AppStream metainfo must validate. Then it
# installs the package and runs the installed copy as root and as an
# ordinary member of "dialout" with a home and XDG folders of its own, as a
# technician logs in: a batch conversion, a batch load against fieldsim
# whose backup must land in the user's data folder (the system's folders
# are nobody's to write), an Options change through the real dialog that
# must land in the user's config.ini and be read back by the program after a
# restart, and the program started off screen; an /etc/fieldservice/config.ini
# removed or broken by the administrator, told of while the program goes on.
# Last, the upgrade from the former package in /opt/fieldservice (made here
# from the same build): the administrator's changed config.ini moves to
# /etc/fieldservice, an unchanged one gives way to the new one, and a user's
# settings naming /opt are kept and told of. Purges the package and removes
# the user at the end. Needs root (or sudo) to install and to add the user.
set -e
cd "$(dirname "$0")/.."
root=$(pwd)
version=$(dpkg-parsechangelog -S Version)
deb="build/fieldservice_${version}_amd64.deb"
dbgsym="build/fieldservice-dbgsym_${version}_amd64.deb"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
fail() { echo "package-check: $*" >&2; exit 1; }

# Debian's checker; the only overrides are in debian/*.lintian-overrides, each with its reason.
lintian --fail-on error,warning --display-level '>=warning' "$deb" "$dbgsym" || fail "lintian found errors or warnings"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/metainfo/org.fieldservice.fieldservice.metainfo.xml \
  >build/metainfo.xml
appstreamcli validate --no-net build/metainfo.xml || fail "the AppStream metainfo does not validate"

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
  $SUDO rm -rf "$old"
  if id "$user" >/dev/null 2>&1; then $SUDO userdel "$user" || echo "package-check: user $user left behind" >&2; fi
  $SUDO rm -rf "$home"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
old=""

$SUDO dpkg -i "$deb" >/dev/null || { $SUDO apt-get install -f -y -qq >/dev/null; $SUDO dpkg -i "$deb" >/dev/null; }
fieldservice --version
test -f /usr/share/applications/org.fieldservice.fieldservice.desktop
test -f /usr/share/metainfo/org.fieldservice.fieldservice.metainfo.xml
test -f /usr/share/man/man1/fieldservice.1.gz
test -f /usr/share/doc/fieldservice/copyright
test -f /usr/share/fieldservice/messages.eng
dpkg-query -W -f='${Conffiles}' fieldservice | grep -q ' /etc/fieldservice/config.ini ' ||
  fail "/etc/fieldservice/config.ini is no configuration file of the package"
file -L /usr/bin/fieldservice | grep -q ', stripped' || fail "/usr/bin/fieldservice is not stripped"
test ! -e /opt/fieldservice || fail "the package put files in /opt/fieldservice"
cp /etc/fieldservice/config.ini "$root/build/config.ini.installed"

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
test ! -e /usr/share/fieldservice/backups || fail "a backup folder appeared in /usr/share/fieldservice"
# Root may write the system's folders, and still writes its backups to its own.
roothome=$(mktemp -d)
mkdir -p "$roothome/data" "$roothome/config"
cp "$home/unit.NFO" "$roothome/"
(cd "$roothome" && HOME="$roothome" XDG_DATA_HOME="$roothome/data" XDG_CONFIG_HOME="$roothome/config" \
  timeout 120 fieldservice --port "$home/bus0" /l unit.NFO >/dev/null 2>&1) || fail "the load as root failed"
ls "$roothome/data/fieldservice/backups/"PUMP01-1F-*.NFO >/dev/null 2>&1 || fail "no backup in root's data folder"
test ! -e /usr/share/fieldservice/backups || fail "root's backup went to /usr/share/fieldservice"
rm -rf "$roothome"
stop_sim

# An Options change: the dialog writes the user's config.ini with that one
# key, the installed file stays as it was, and a restart reads it back.
as_user sh -c "cd '$home' && QT_QPA_PLATFORM=offscreen '$home/options_check' ita" >/dev/null ||
  fail "the Options dialog did not take the language"
printf '[BASIC Configurations]\nlanguage=ita\n' | cmp -s - "$home/.config/fieldservice/config.ini" ||
  fail "the user's config.ini is not what the Options dialog chose"
cmp -s /etc/fieldservice/config.ini "$root/build/config.ini.installed" || fail "the installed config.ini changed"
test "$(as_user sh -c "cd '$home' && QT_QPA_PLATFORM=offscreen '$home/options_check'")" = "language=ita" ||
  fail "the language chosen was not read back"
# The program itself speaks the language chosen: its batch job tells in Italian.
said=$(as_user sh -c "cd '$home' && fieldservice /c 'none*.NFO'" 2>&1 || true)
expected=$(sed -n 's/^0002>\(.*\)<END>$/\1/p' /usr/share/fieldservice/messages.ita)
case "$said" in *"$expected"*) ;; *) fail "the program did not read the language back: $said" ;; esac

# The program off screen, started as the user, stays up until stopped.
status=0
as_user sh -c "cd '$home' && DISPLAY=:0 QT_QPA_PLATFORM=offscreen timeout 3 fieldservice" || status=$?
[ "$status" -eq 124 ] || fail "the program ended at start (status $status)"

# The administrator's config.ini removed, then broken: the job still runs
# on the shipped settings, the user's own still over them, and says so.
# told TEXT FILE WHAT: a conversion as the user tells text TEXT (in Italian,
# the user's language) naming FILE first.
told() {
  $SUDO rm -f "$home/unit.DOC"
  said=$(as_user sh -c "cd '$home' && fieldservice /c unit.NFO" 2>&1) || true
  test -s "$home/unit.DOC" || fail "the conversion failed with $3: $said"
  text=$(sed -n "s/^$1>\([^%]*\)%s.*<END>\$/\1/p" /usr/share/fieldservice/messages.ita)
  case "$said" in *"$text$2"*) ;; *) fail "$3 was not told: $said" ;; esac
}
$SUDO mv /etc/fieldservice/config.ini "$root/build/config.ini.kept"
told 82d0 /etc/fieldservice/config.ini "a missing config.ini"
printf 'language=eng\n\0\0garbage\n' | $SUDO tee /etc/fieldservice/config.ini >/dev/null
told 82d2 /etc/fieldservice/config.ini "a broken config.ini"
$SUDO mv "$root/build/config.ini.kept" /etc/fieldservice/config.ini
$SUDO dpkg -P fieldservice >/dev/null
test ! -e /etc/fieldservice || fail "/etc/fieldservice left behind by the purge"

# The upgrade from the package that installed everything in /opt/fieldservice.
old=$(mktemp -d)
sh tests/package/old-package.sh build/dist "$old/fieldservice_1.10_amd64.deb" >/dev/null
# An unchanged config.ini gives way to the new one.
$SUDO dpkg -i "$old/fieldservice_1.10_amd64.deb" >/dev/null
$SUDO dpkg -i "$deb" >/dev/null
cmp -s /etc/fieldservice/config.ini "$root/build/config.ini.installed" || fail "the upgrade did not install config.ini"
test ! -e /etc/fieldservice/config.ini.dpkg-new || fail "an unchanged config.ini was kept as changed"
test ! -e /opt/fieldservice || fail "the upgrade left /opt/fieldservice"
$SUDO dpkg -P fieldservice >/dev/null
# A changed one takes the new one's place, which waits beside it.
$SUDO dpkg -i "$old/fieldservice_1.10_amd64.deb" >/dev/null
printf '\n[Port Devices]\ncom4=/dev/ttyUSB3\n' | $SUDO tee -a /opt/fieldservice/config.ini >/dev/null
$SUDO sed -i 's/^language=.*/language=ita/' /opt/fieldservice/config.ini
$SUDO cp /opt/fieldservice/config.ini "$old/config.ini.changed"
# A user of the old package whose settings keep the history in /opt.
printf '[BASIC Configurations]\nhistory_database=/opt/fieldservice/history.sqlite\n' |
  $SUDO install -o "$user" -m 644 /dev/stdin "$home/.config/fieldservice/config.ini"
$SUDO cp "$home/.config/fieldservice/config.ini" "$old/user.ini"
$SUDO dpkg -i "$deb" >/dev/null
cmp -s /etc/fieldservice/config.ini "$old/config.ini.changed" || fail "the upgrade lost the administrator's config.ini"
cmp -s /etc/fieldservice/config.ini.dpkg-new "$root/build/config.ini.installed" ||
  fail "the new config.ini is not beside the administrator's"
test ! -e /opt/fieldservice/config.ini || fail "config.ini left in /opt/fieldservice"
told 82d3 "$home/.config/fieldservice/config.ini" "a user's setting in /opt"
cmp -s "$home/.config/fieldservice/config.ini" "$old/user.ini" || fail "the user's settings changed"

echo "package: lintian clean, installed, ran as root and as an ordinary user, upgraded from /opt, removed"
