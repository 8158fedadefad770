#!/bin/sh
# Builds the Debian package by Debian's rules (debian/, debhelper) from the
# build folder build/: fieldservice_<version>_amd64.deb and its debug
# symbols, fieldservice-dbgsym_<version>_amd64.deb, land in build/. What
# scripts/test.sh built already is not compiled again.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
[ -f build/CMakeCache.txt ] || cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
version=$(dpkg-parsechangelog -S Version)
# dpkg-buildpackage writes beside the source tree; the results are moved into build/.
DEB_BUILD_OPTIONS="parallel=$(nproc)" dpkg-buildpackage -b -us -uc >build/package.log 2>&1 ||
  { tail -40 build/package.log >&2; exit 1; }
for f in fieldservice_"$version"_amd64.deb fieldservice-dbgsym_"$version"_amd64.deb \
  fieldservice_"$version"_amd64.buildinfo fieldservice_"$version"_amd64.changes; do
  mv "../$f" build/
done
# What dpkg-buildpackage left in debian/ goes; build/ stays (see debian/rules).
debian/rules clean >/dev/null 2>&1
ls build/fieldservice_"$version"_amd64.deb build/fieldservice-dbgsym_"$version"_amd64.deb
