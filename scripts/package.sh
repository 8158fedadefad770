#!/bin/sh
# Builds the Debian package fieldservice_<version>_amd64.deb in build/.
set -e
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target fieldservice fieldsim dist manpages
cd build
cpack -G DEB >/dev/null
ls fieldservice_*.deb
