#!/usr/bin/env bash
# Measures, side by side, each load test's rate under kelnprobe -t against the
# same calls made by a minimal loop (bench/minimal_loop.cpp), on a tmpfs-like
# scratch directory and on the machine's disk; and rdwr's bytes per second
# against the same writes and reads, when rdwr is built. Prints the ratio
# kelnprobe / minimal loop; the target is at least 0.95 for every row.
#   bench/loadbench.sh [ROUNDS]   (default 3; the best rate of the rounds counts)
set -euo pipefail
cd "$(dirname "$0")/.."
rounds=${1:-3}
./build.sh default >/dev/null
cmake --build --preset default --target minimal_loop >/dev/null
bin=$PWD/build/default/bin

memdir=/dev/shm
[ -d "$memdir" ] && [ -w "$memdir" ] || memdir=${TMPDIR:-/tmp}
diskdir=$PWD/build
mem=$(mktemp -d "$memdir/keln-bench.XXXXXX")
disk=$(mktemp -d "$diskdir/keln-bench.XXXXXX")
trap 'rm -rf "$mem" "$disk"' EXIT
touch "$mem/ismtest.dir" "$disk/ismtest.dir"

# Calls (or bytes) per second of one kelnprobe run, from its count and the
# seconds its rate line shows (the line's own rate is rounded to tenths of
# a second).
probe_rate() { # test count dir units-per-pass [size]
  local size_args=()
  [ -n "${5:-}" ] && size_args=(-b "$5")
  "$bin/kelnprobe" "$1" -t -c "$2" "${size_args[@]}" "$3" |
    awk -v n="$2" -v per="$4" '/ in [0-9.]+ secs/ { for (i = 1; i < NF; i++) if ($i == "in") s = $(i + 1) }
      END { if (s > 0) printf "%.0f\n", n * per / s; else print 0 }'
}

best() { sort -n | tail -1; }

rdwr_built=yes
"$bin/kelnprobe" rdwr -s -c 1 -b 8k "$mem" </dev/null >/dev/null 2>&1 || rdwr_built=no

printf '%-14s %-6s %14s %14s %7s\n' test dir kelnprobe minimal ratio
row() { # test count place dir units-per-pass [size]
  local probe=() loop=()
  for ((r = 0; r < rounds; r++)); do
    probe+=("$(probe_rate "$1" "$2" "$4" "$5" "${6:-}")")
    loop+=("$("$bin/minimal_loop" "$1" "$2" "$4" ${6:+"$6"})")
  done
  local p l
  p=$(printf '%s\n' "${probe[@]}" | best)
  l=$(printf '%s\n' "${loop[@]}" | best)
  printf '%-14s %-6s %14s %14s %7s\n' "$1" "$3" "$p" "$l" "$(awk -v p="$p" -v l="$l" 'BEGIN { printf "%.3f", p / l }')"
}

for place in tmpfs disk; do
  dir=$mem; [ "$place" = disk ] && dir=$disk
  row creat-rm-load 100000 "$place" "$dir" 5
  row xcreat-load 100000 "$place" "$dir" 4
  row rename-load 200000 "$place" "$dir" 2
  mkdir_count=100000; [ "$place" = disk ] && mkdir_count=20000
  row mkdir-load "$mkdir_count" "$place" "$dir" 2
  if [ "$rdwr_built" = yes ]; then
    row rdwr 1000 "$place" "$dir" $((2 * 1048576)) 1048576
  fi
done
[ "$rdwr_built" = yes ] || echo "rdwr: not built in this tree; its row is left out"
echo "units: calls per second (rdwr: bytes per second); best of $rounds rounds"
