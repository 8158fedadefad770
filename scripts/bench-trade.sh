#!/bin/sh
# The trade between the link's clock watch and what it costs, with the CPUs
# left idle (as for a user who may not keep them awake): for each watch
# length the bus benchmark saves and loads the demo pump controller once and
# prints its wall / wire bound ratio and its CPU seconds per bus second.
#
#   scripts/bench-trade.sh [watch-us ...]     (default: 0 50 100 200 500 1000)
#
# Builds in build/ (or FS_BUILD_DIR) like scripts/bench.sh; each run's log
# lands in build/bench-logs/trade-<us>.txt. Run it on a quiet machine: other
# work on the CPUs shows in both columns.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD="${FS_BUILD_DIR:-$ROOT/build}"
LOGS="$BUILD/bench-logs"
WATCHES=${*:-0 50 100 200 500 1000}

cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFS_BUILD_BENCH=ON >/dev/null
mkdir -p "$LOGS"
if ! cmake --build "$BUILD" -j"$(nproc)" --target fieldsim dist bus_efficiency >"$LOGS/trade-build.txt" 2>&1; then
  tail -n 30 "$LOGS/trade-build.txt" >&2
  echo "bench-trade: the build failed (log: $LOGS/trade-build.txt)" >&2
  exit 1
fi

echo "Clock watch trade of $(git rev-parse --short HEAD 2>/dev/null || echo '?') on $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores, CPUs idle"
echo "Load before: $(uptime | sed 's/.*load average/load average/')"
printf '%-10s  %-16s  %-16s\n' "Watch us" "Wall / bound" "CPU s per bus s"
printf '%-10s  %-16s  %-16s\n' "--------" "------------" "---------------"
for us in $WATCHES; do
  out=$(FS_LINK_WATCH_US=$us sh scripts/own-home.sh timeout 900 "$BUILD/bench/bus_efficiency" --idle-only \
    2>"$LOGS/trade-$us.txt" || true)
  ratio=$(printf '%s\n' "$out" | awk -F'|' '$2 ~ /wall \/ wire bound/ { print $3 }')
  cpu=$(printf '%s\n' "$out" | awk -F'|' '$2 ~ /CPU s per bus s/ { print $3 }')
  printf '%-10s  %-16s  %-16s\n' "$us" "${ratio:-(failed)}" "${cpu:-(failed)}"
done
echo "Load after:  $(uptime | sed 's/.*load average/load average/')"
echo "Targets: wall / bound <= 1.05 x, CPU <= 0.10 CPU-s per bus-s"
