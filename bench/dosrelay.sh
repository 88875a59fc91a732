#!/usr/bin/env bash
# Relay throughput: dosrelay against a plain shell pipe carrying the same
# output, in one run. Usage: bench/dosrelay.sh [megabytes (default 200)] [rounds (default 5)]
# Prints the best time of each and the ratio of dosrelay's throughput to the
# pipe's (target: at least 0.8).
set -euo pipefail
cd "$(dirname "$0")/.."
megabytes=${1:-200}
rounds=${2:-5}
dosrelay=$PWD/build/default/bin/dosrelay
[ -x "$dosrelay" ] || ./build.sh default >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/dosrelay-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
bigfile=$scratch/bigfile
head -c "$((megabytes << 20))" /dev/urandom >"$bigfile"
cat "$bigfile" >/dev/null # into the page cache

now() { date +%s%N; }
best_direct=0 best_relay=0
for _ in $(seq "$rounds"); do
  start=$(now); sh -c "cat '$bigfile'" 2>&1 | cat >/dev/null; took=$(($(now) - start))
  if [ "$best_direct" -eq 0 ] || [ "$took" -lt "$best_direct" ]; then best_direct=$took; fi
  start=$(now); "$dosrelay" cat "$bigfile" >/dev/null; took=$(($(now) - start))
  if [ "$best_relay" -eq 0 ] || [ "$took" -lt "$best_relay" ]; then best_relay=$took; fi
done

awk -v mb="$megabytes" -v direct="$best_direct" -v relay="$best_relay" 'BEGIN {
  printf "direct pipe: %d MB in %.3f s (%.0f MB/s)\n", mb, direct / 1e9, mb / (direct / 1e9)
  printf "dosrelay:    %d MB in %.3f s (%.0f MB/s)\n", mb, relay / 1e9, mb / (relay / 1e9)
  printf "ratio (dosrelay / direct throughput): %.2f\n", direct / relay
}'
