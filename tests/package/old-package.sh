#!/bin/sh
# old-package.sh DIST OUT.deb: a package laid out as fieldservice 1.10 was,
# for the upgrade check of scripts/package-check.sh: everything from a
# build's dist folder in /opt/fieldservice, config.ini a configuration file
# there, commands in /usr/bin that start the programs in that folder.
set -e
dist=$1 out=$2 root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/DEBIAN" "$root/opt/fieldservice" "$root/usr/bin"
cp "$dist"/fieldservice "$dist"/fieldsim "$dist"/config.ini "$dist"/demo.bus "$dist"/messages.* \
  "$dist"/errors.* "$dist"/parameters.* "$dist"/help_*.hlp "$root/opt/fieldservice/"
for program in fieldservice fieldsim; do
  printf '#!/bin/sh\ncd /opt/fieldservice || exit 1\nexec /opt/fieldservice/%s "$@"\n' "$program" >"$root/usr/bin/$program"
  chmod 755 "$root/usr/bin/$program"
done
echo /opt/fieldservice/config.ini >"$root/DEBIAN/conffiles"
cat >"$root/DEBIAN/control" <<CONTROL
Package: fieldservice
Version: 1.10
Architecture: amd64
Maintainer: fieldservice developers <fieldservice@localhost>
Section: utils
Priority: optional
Description: Service tool for field devices on a two-wire serial bus
 The package as it was built into /opt/fieldservice.
CONTROL
dpkg-deb --root-owner-group -b "$root" "$out"
