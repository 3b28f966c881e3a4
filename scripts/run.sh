#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the Windows musicdisk and runs it under
# Wine: on your display when there is one; without a display, on a virtual one
# for 15 seconds, leaving a screenshot of the window in out/musicdisk.png and
# everything it played in out/musicdisk.wav.
#
#   scripts/run.sh --web [PORT]   builds the web page and serves it on a local
#                                 port (8080 unless given), printing the address
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

if [ "${1:-}" = "--web" ]; then
  cmake --preset web >/dev/null
  cmake --build --preset web -j "$(nproc)"
  exec /usr/bin/python3 scripts/web_musicdisk.py serve --dir build/web --port "${2:-8080}"
fi
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$(nproc)" --target veltrane-music
exe=build/windows/app/veltrane-music.exe

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine
if [ -n "${DISPLAY:-}" ]; then
  bash scripts/wine_prefix.sh build/wine-prefix
  echo "veltrane::music: drag the window anywhere; the arrow keys or the buttons change tunes; Escape quits."
  WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all exec "$wine" "$exe"
fi
bash scripts/wine_prefix.sh build/wine-prefix-xvfb --virtual-display
exec /usr/bin/python3 scripts/wine_musicdisk.py "$exe" --prefix build/wine-prefix-xvfb --seconds 15 \
  --screenshot out/musicdisk.png --wav out/musicdisk.wav
