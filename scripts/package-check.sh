#!/bin/sh
# Installs the package just built, runs the installed program (its version
# and a batch conversion of a file it writes itself), and removes it again.
set -e
cd "$(dirname "$0")/.."
deb=$(ls build/fieldservice_*_amd64.deb | head -1)
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
$SUDO dpkg -i "$deb" >/dev/null || { $SUDO apt-get install -f -y -qq >/dev/null; $SUDO dpkg -i "$deb" >/dev/null; }
trap '$SUDO dpkg -P fieldservice >/dev/null' EXIT
fieldservice --version
test -f /usr/share/applications/fieldservice.desktop
test -f /usr/share/man/man1/fieldservice.1.gz
work=$(mktemp -d)
cp tests/golden/sealed-seed-12345679.NFO "$work/unit.NFO"
(cd "$work" && env -u DISPLAY -u WAYLAND_DISPLAY fieldservice /c 'unit.NFO')
test -s "$work/unit.DOC"
rm -rf "$work"
echo "package: installed, ran and removed"
