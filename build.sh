#!/usr/bin/env bash
# Installs what is missing, then configures and builds the given preset
# (default: "default"; "sanitize" builds with the address and undefined-behaviour checkers).
set -euo pipefail
cd "$(dirname "$0")"
preset=${1:-default}
./setup.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
