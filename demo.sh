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
run "$bin/kelnprobe" null -t -c 1000000

# A scratch host: two VOBs and a view, in two commands.
run "$bin/kelnhost" mkvob proj doc
run "$bin/kelnhost" mkview dev
run "$bin/kelnhost" lsvob
run "$bin/kelnhost" lsview
run ls "$KELN_HOST/viewroot/dev"
