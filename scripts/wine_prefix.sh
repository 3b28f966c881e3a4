#!/usr/bin/env bash
# Makes the Wine prefix the musicdisk and its Windows tests run in, once:
#   scripts/wine_prefix.sh PREFIX [--virtual-display]
# "Arial" and "Courier New" are mapped to Liberation Sans and Liberation Mono
# (Debian's fonts-liberation), so that text renders the same on every machine.
#
# --virtual-display is for a prefix whose programs run on Xvfb, where no window
# manager runs: Wine then leaves windows unmanaged. A managed window waits for
# a window manager's answer whenever it is hidden or destroyed, two seconds
# for every window when nobody answers.
set -euo pipefail
prefix="${1:?usage: wine_prefix.sh PREFIX [--virtual-display]}"
virtual_display="${2:-}"
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
if [ "$virtual_display" = "--virtual-display" ]; then
  DISPLAY= wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
fi
wineserver -w
touch "$prefix/.veltrane-ready"
