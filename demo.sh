#!/usr/bin/env bash
# Installs what is missing, builds, and runs the programs on a scratch test
# directory and a scratch host, showing what each prints.
set -euo pipefail
cd "$(dirname "$0")"
./build.sh default >/dev/null
bin=$PWD/build/default/bin

scratch=$(mktemp -d "${TMPDIR:-/tmp}/keln-demo.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
export KELN_HOST=$scratch/host
cd "$scratch"

run() {
  printf '\n$ %s\n' "$*"
  "$@" || printf '[exit %d]\n' "$?"
}

run "$bin/kelnprobe" -n
run "$bin/kelnprobe" null -t -c 100000000
run "$bin/kelnprobe" mktree
run "$bin/kelnprobe" stattree -t -c 2
run "$bin/kelnprobe" rmtree
run "$bin/kelnprobe" getwd
run "$bin/kelnprobe" creat
run "$bin/kelnprobe" rdwr -t -c 3 -b 64k
run "$bin/kelnprobe" readdir -c 3
mkdir -p testdir && touch testdir/ismtest.dir
for test in creat-rm-load xcreat-load rename-load mkdir-load; do
  run "$bin/kelnprobe" "$test" -t -c 100000 testdir
done
run "$bin/kelnprobe" mmap -t -c 10 testdir

# A scratch host: two VOBs and a view, in two commands.
run "$bin/kelnhost" mkvob proj doc
run "$bin/kelnhost" mkview dev
run "$bin/kelnhost" lsvob
run "$bin/kelnhost" lsview
run ls "$KELN_HOST/viewroot/dev"

run "$bin/dosrelay"
run "$bin/dosrelay" 'echo to standard output; echo to standard error >&2'
run "$bin/dosrelay" exit 3
run env COMSPEC=/no/such/shell "$bin/dosrelay" echo hi
