#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds the Windows musicdisk and runs it under
# Wine: on your display when there is one; without a display, on a virtual one
# for 15 seconds, leaving a screenshot of the window in out/musicdisk.png and
# everything it played in out/musicdisk.wav.
#
#   scripts/run.sh --web [PORT]   builds the web page and serves it on a local
#                                 port (8080 unless given), printing the address
#   scripts/run.sh --pack PACK    the same with a disk made from the content
#                                 pack PACK (see scripts/make_musicdisk.sh);
#                                 with --web too, serves that disk's page
set -euo pipefail
cd "$(dirname "$0")/.."

web=""
port=8080
pack=""
while [ $# -gt 0 ]; do
  case "$1" in
    --web) web=1; shift; if [[ "${1:-}" =~ ^[0-9]+$ ]]; then port="$1"; shift; fi ;;
    --pack) [ $# -ge 2 ] || { echo "run: --pack needs a folder" >&2; exit 1; }; pack="$2"; shift 2 ;;
    *) echo "usage: scripts/run.sh [--web [PORT]] [--pack PACK]" >&2; exit 1 ;;
  esac
done
bash scripts/setup.sh

title="veltrane::music"
if [ -n "$pack" ]; then
  out="$PWD/build/packs/run"
  rm -rf "$out"
  bash scripts/make_musicdisk.sh "$pack" -o "$out"
  exe=$(ls "$out"/*.exe)
  page="$out/web"
  title=$(/usr/bin/python3 scripts/musicdisk_pack.py name "$pack")
else
  page=build/web
  if [ -n "$web" ]; then
    cmake --preset web >/dev/null
    cmake --build --preset web -j "$(nproc)"
  else
    cmake --preset windows >/dev/null
    cmake --build --preset windows -j "$(nproc)" --target veltrane-music
  fi
  exe=build/windows/veltrane-music.exe
fi
if [ -n "$web" ]; then
  exec /usr/bin/python3 scripts/web_musicdisk.py serve --dir "$page" --port "$port"
fi

wine=/usr/lib/wine/wine64
[ -x "$wine" ] || wine=wine
if [ -n "${DISPLAY:-}" ]; then
  bash scripts/wine_prefix.sh build/wine-prefix
  echo "$title: drag the window anywhere; the arrow keys or the buttons change tunes; Escape quits."
  WINEPREFIX="$PWD/build/wine-prefix" WINEDEBUG=-all exec "$wine" "$exe"
fi
bash scripts/wine_prefix.sh build/wine-prefix-xvfb --virtual-display
exec /usr/bin/python3 scripts/wine_musicdisk.py "$exe" --prefix build/wine-prefix-xvfb --seconds 15 \
  --screenshot out/musicdisk.png --wav out/musicdisk.wav --title "$title"
