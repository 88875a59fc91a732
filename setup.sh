#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, when missing:
# a compiler that builds 32-bit programs, CMake, Ninja and GoogleTest's sources.
set -euo pipefail

missing=()
echo 'int main(){}' | g++ -m32 -x c++ - -o /dev/null 2>/dev/null || missing+=(g++-multilib)
command -v cmake >/dev/null || missing+=(cmake)
command -v ninja >/dev/null || missing+=(ninja-build)
[ -f /usr/src/googletest/CMakeLists.txt ] || missing+=(googletest)

[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if [ "$(id -u)" -eq 0 ]; then
  sudo=()
elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
  sudo=(sudo)
else
  echo "setup: these Debian packages are missing: ${missing[*]}" >&2
  echo "setup: run this script as root (or with password-less sudo), or install them yourself:" >&2
  echo "    apt-get update && apt-get install -y ${missing[*]}" >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q "${missing[@]}"
