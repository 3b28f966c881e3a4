#!/usr/bin/env bash
# Makes the Wine prefix the musicdisk and its Windows tests run in, once:
#   scripts/wine_prefix.sh PREFIX
# "Arial" and "Courier New" are mapped to Liberation Sans and Liberation Mono
# (Debian's fonts-liberation), so that text renders the same on every machine.
set -euo pipefail
prefix="${1:?usage: wine_prefix.sh PREFIX}"
mkdir -p "$(dirname "$prefix")"
prefix="$(cd "$(dirname "$prefix")" && pwd)/$(basename "$prefix")"
[ -f "$prefix/.veltrane-ready" ] && exit 0

export WINEPREFIX="$prefix" WINEDEBUG=-all
echo "wine prefix: creating $prefix"
# No display is needed to create it; with one, Wine would open its dialogs there.
DISPLAY= wineboot --init >/dev/null 2>&1 || true
for mapping in "Arial=Liberation Sans" "Courier New=Liberation Mono"; do
  DISPLAY= wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "${mapping%%=*}" /d "${mapping#*=}" /f \
    >/dev/null 2>&1
done
wineserver -w
touch "$prefix/.veltrane-ready"
