#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test veltrane::music
# natively, for Windows and for the web. Does nothing when everything is
# already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev clang-format
  libgtest-dev googletest libbenchmark-dev
  zlib1g-dev libsndfile1-dev libasound2-dev libebur128-dev libcli11-dev
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth
  xdotool imagemagick x11-utils x11-xserver-utils fonts-liberation icoutils
  python3 python3-pil python3-numpy pyflakes3
  emscripten node-acorn chromium
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: everything is installed"
  exit 0
fi

echo "setup: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
