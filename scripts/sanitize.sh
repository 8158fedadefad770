#!/bin/sh
# Builds and runs tests under a sanitizer, each in a build directory of its
# own (build-asan/, build-tsan/):
#   scripts/sanitize.sh asan   the whole test suite under AddressSanitizer
#                              and UndefinedBehaviorSanitizer
#   scripts/sanitize.sh tsan   the link, network port (several at once
#                              among them), progress and soak tests under
#                              ThreadSanitizer
# Any report stops the test that made it, so the run fails.
set -e
cd "$(dirname "$0")/.."
preset="${1:-asan}"
case "$preset" in
  asan|tsan) ;;
  *) echo "usage: $0 asan|tsan" >&2; exit 2 ;;
esac
sh scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)"
ctest --preset "$preset" -j"$(nproc)"
