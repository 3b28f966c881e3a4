#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds every target and runs every test:
# native under AddressSanitizer and UndefinedBehaviorSanitizer, the threaded
# audio path under ThreadSanitizer, the Windows build under Wine on a virtual
# display (the musicdisk end to end among them), the web page in headless
# Chromium, and the fuzzers of the song loader, the player and the song
# compiler for a bounded time each.
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
JOBS="${JOBS:-$(nproc)}"

bash scripts/setup.sh

# The Windows tests run in a prefix of their own, on a virtual display.
export WINEDEBUG=-all
export WINEPREFIX="$PWD/build/wine-prefix-xvfb"
bash scripts/wine_prefix.sh "$WINEPREFIX" --virtual-display

step() { echo; echo "== $*"; }

# Runs ctest and adds its counts to the totals printed at the end. A failing
# run still reports its totals before the script ends with an error.
passed=0
failed=0
totals() { echo "tests: ${passed} passed, ${failed} failed"; }
trap 'status=$?; if [ $status -ne 0 ]; then echo; echo "== stopped by a failure"; totals; fi' EXIT
run_ctest() {
  local log status=0
  log=$(mktemp)
  "$@" | tee "$log" || status=$?
  local total
  total=$(sed -nE 's/^[0-9]+% tests passed, ([0-9]+) tests failed out of ([0-9]+)$/\1 \2/p' "$log" | tail -1)
  rm -f "$log"
  if [ -n "$total" ]; then
    set -- $total
    failed=$((failed + $1))
    passed=$((passed + $2 - $1))
  fi
  return $status
}

step "native build (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake --preset native >/dev/null
cmake --build --preset native -j "$JOBS"
step "native tests"
run_ctest ctest --preset native -j "$JOBS"

step "ThreadSanitizer build of the threaded audio path"
cmake --preset native-tsan >/dev/null
cmake --build --preset native-tsan -j "$JOBS" --target audio_device_test platform_winmm_test core_track_change_test
step "ThreadSanitizer tests"
run_ctest ctest --preset native-tsan -j "$JOBS" --no-tests=ignore

step "release build (tools and benchmarks)"
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "$JOBS"

step "Windows build (MinGW-w64)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$JOBS"
step "Windows tests under Wine, on a virtual display, and the musicdisk end to end"
run_ctest xvfb-run -a -s "-screen 0 1024x768x24 -noreset" ctest --preset windows -j "$JOBS"

step "web build (Emscripten)"
cmake --preset web >/dev/null
cmake --build --preset web -j "$JOBS"
step "the web page in headless Chromium, compared with the native tools"
run_ctest ctest --preset web

step "fuzz build (clang, libFuzzer)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$JOBS" --target load_song_fuzzer play_song_fuzzer song_text_fuzzer
for fuzzer in load_song_fuzzer play_song_fuzzer song_text_fuzzer; do
  step "fuzzing: ${fuzzer} for ${FUZZ_SECONDS} s"
  corpus="build/fuzz/corpus/${fuzzer}"
  log="build/fuzz/${fuzzer}.log"
  mkdir -p "$corpus"
  # New inputs go to the first folder; the seeds and the ten tunes start it off.
  build/fuzz/fuzz/$fuzzer -max_total_time="$FUZZ_SECONDS" -dict=fuzz/ahx.dict -print_final_stats=1 \
    -artifact_prefix=build/fuzz/ "$corpus" fuzz/seeds resources/songs 2>"$log" || { tail -50 "$log"; exit 1; }
  grep -E '^stat::number_of_executed_units' "$log" || true
done

echo
echo "== all builds and tests passed"
totals
