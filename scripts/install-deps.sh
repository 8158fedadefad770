#!/bin/sh
# Installs the Debian packages fieldservice needs to build, test and run.
# Quiet and quick when everything is already there.
set -e
PACKAGES="build-essential cmake pkg-config qt6-base-dev qt6-base-dev-tools qt6-wayland libgl-dev \
libgtest-dev libgmock-dev googletest libbenchmark-dev clang libclang-rt-14-dev \
xvfb xauth x11-utils imagemagick fonts-dejavu-core libssl-dev ser2net python3-serial openssl libsqlite3-dev ccache \
at-spi2-core gir1.2-atspi-2.0 python3-gi dbus-daemon \
debhelper dpkg-dev fakeroot lintian appstream file xdotool \
libpq-dev postgresql-15"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
echo "Installing:$missing" >&2
$SUDO apt-get update -qq >/dev/null
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends $missing >/dev/null
