#!/bin/sh
# Builds the program, the bus simulator and every benchmark in build/
# (RelWithDebInfo), runs the benchmarks one after the other and prints one
# table: figure, measured value, target, result. Each benchmark's own
# account (counts, breakdowns, failures) lands in build/bench-logs/.
# Exit status 1 when a target was missed or a figure could not be measured.
# The network rows (rfc2217 on loopback, round trips of 20 and 40 ms through
# a delaying relay, eight network buses at once) run the program against
# ser2net in front of the simulators.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
BUILD="${FS_BUILD_DIR:-$ROOT/build}"
LOGS="$BUILD/bench-logs"

sh scripts/install-deps.sh
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFS_BUILD_BENCH=ON >/dev/null
BENCHES=$(for f in bench/*.cpp; do basename "$f" .cpp; done)
mkdir -p "$LOGS"
# shellcheck disable=SC2086
if ! cmake --build "$BUILD" -j"$(nproc)" --target fieldservice fieldsim dist $BENCHES >"$LOGS/build.txt" 2>&1; then
  tail -n 30 "$LOGS/build.txt" >&2
  echo "bench: the build failed (log: $LOGS/build.txt)" >&2
  exit 1
fi

ROWS="$LOGS/rows.txt"
: >"$ROWS"
echo "Benchmarks of $(git rev-parse --short HEAD 2>/dev/null || echo '?') on $(date -u '+%Y-%m-%d %H:%M UTC'), $(nproc) cores"
echo "Load before: $(uptime | sed 's/.*load average/load average/')"
for name in $BENCHES; do
  status=0
  # Each benchmark, and the programs it starts, with a home and XDG folders of
  # its own: nothing it saves, loads or journals reaches the user's.
  sh scripts/own-home.sh timeout 900 "$BUILD/bench/$name" >"$LOGS/$name.out" 2>"$LOGS/$name.txt" || status=$?
  grep '^FIGURE|' "$LOGS/$name.out" >>"$ROWS" || true
  if [ "$status" -ne 0 ] && ! grep -q '|FAIL$' "$LOGS/$name.out"; then
    echo "FIGURE|$name|(ended with status $status, see $LOGS/$name.txt)|-|FAIL" >>"$ROWS"
  fi
done
echo "Load after:  $(uptime | sed 's/.*load average/load average/')"
echo

awk -F'|' '
  { for (i = 2; i <= 5; i++) { cell[NR, i] = $i; if (length($i) > w[i]) w[i] = length($i) } }
  $5 == "FAIL" { failed = 1 }
  END {
    split("Figure|Measured|Target|Result", title, "|")
    for (i = 2; i <= 5; i++) if (length(title[i - 1]) > w[i]) w[i] = length(title[i - 1])
    line = sprintf("%-" w[2] "s  %-" w[3] "s  %-" w[4] "s  %s", title[1], title[2], title[3], title[4])
    print line
    rule = ""
    for (i = 2; i <= 5; i++) { r = ""; for (j = 0; j < w[i]; j++) r = r "-"; rule = rule (i > 2 ? "  " : "") r }
    print rule
    for (n = 1; n <= NR; n++)
      printf "%-" w[2] "s  %-" w[3] "s  %-" w[4] "s  %s\n", cell[n, 2], cell[n, 3], cell[n, 4], cell[n, 5]
    exit failed
  }' "$ROWS"
