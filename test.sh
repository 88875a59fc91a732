#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test.
set -euo pipefail
cd "$(dirname "$0")"
preset=${1:-default}
./build.sh "$preset"
ctest --preset "$preset"
