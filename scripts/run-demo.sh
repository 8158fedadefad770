#!/bin/sh
# Builds fieldservice and the bus simulator, then runs the program against
# the simulated demo bus (install/demo.bus): COM1 of the demo installation
# leads to the simulator's pseudo-terminal. Arguments are passed on to the
# program, so batch jobs can be tried too (run-demo.sh /l file.NFO).
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD="${FS_BUILD_DIR:-$ROOT/build}"   # another build directory may be named
RUN="$BUILD/demo"

sh scripts/install-deps.sh
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target fieldservice fieldsim dist

# A fresh installation directory on every run: the program, config.ini, the
# language and help files and the demo bus, as the build's dist/ holds them.
rm -rf "$RUN"
mkdir -p "$RUN"
cp "$BUILD/dist/fieldservice" "$RUN/"
for f in "$ROOT"/install/*; do
  cp "$BUILD/dist/$(basename "$f")" "$RUN/"
done
cat >>"$RUN/config.ini" <<CONF

[Port Devices]
com1=$RUN/bus0
CONF

"$BUILD/dist/fieldsim" --link "$RUN/bus0" "$RUN/demo.bus" >"$RUN/fieldsim.out" 2>&1 &
SIM=$!
trap 'kill "$SIM" 2>/dev/null; wait "$SIM" 2>/dev/null || true' EXIT
trap 'exit 130' INT TERM

# The simulator announces itself with the link; give it five seconds.
tries=0
while [ ! -e "$RUN/bus0" ]; do
  if ! kill -0 "$SIM" 2>/dev/null || [ "$tries" -ge 50 ]; then
    echo "run-demo: the bus simulator did not start:" >&2
    cat "$RUN/fieldsim.out" >&2
    exit 1
  fi
  sleep 0.1
  tries=$((tries + 1))
done

cd "$RUN"
status=0
./fieldservice "$@" || status=$?
exit "$status"
