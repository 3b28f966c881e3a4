#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds veltrane::music and plays it.
# The Windows musicdisk program is not built yet: today this builds the
# native `ahx` tool and plays the first of the ten tunes through the default
# sound device (space pauses, q quits). Pass a track number 1..10 to choose.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "$(nproc)" --target ahx
exec build/native-release/tools/ahx play --track "${1:-1}"
