#!/usr/bin/env bash
# Sets up a Debian 12 machine, builds every target and runs every test:
# native under AddressSanitizer and UndefinedBehaviorSanitizer, the threaded
# audio path under ThreadSanitizer, the Windows build under Wine, and the
# song loader's and player's fuzzers for a bounded time each.
set -euo pipefail
cd "$(dirname "$0")/.."

FUZZ_SECONDS="${FUZZ_SECONDS:-60}"
JOBS="${JOBS:-$(nproc)}"

bash scripts/setup.sh

export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-$HOME/.wine-veltrane}"
if [ ! -d "$WINEPREFIX" ]; then
  echo "== preparing the Wine prefix"
  wineboot --init >/dev/null 2>&1 || true
  wineserver -w || true
fi

step() { echo; echo "== $*"; }

# Runs ctest and adds its counts to the totals printed at the end.
passed=0
failed=0
run_ctest() {
  local log
  log=$(mktemp)
  ctest "$@" | tee "$log"
  local total
  total=$(sed -nE 's/^[0-9]+% tests passed, ([0-9]+) tests failed out of ([0-9]+)$/\1 \2/p' "$log" | tail -1)
  rm -f "$log"
  if [ -n "$total" ]; then
    set -- $total
    failed=$((failed + $1))
    passed=$((passed + $2 - $1))
  fi
}

step "native build (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake --preset native >/dev/null
cmake --build --preset native -j "$JOBS"
step "native tests"
run_ctest --preset native -j "$JOBS"

step "ThreadSanitizer build of the threaded audio path"
cmake --preset native-tsan >/dev/null
cmake --build --preset native-tsan -j "$JOBS" --target audio_device_test platform_winmm_test
step "ThreadSanitizer tests"
run_ctest --preset native-tsan -j "$JOBS" --no-tests=ignore

step "release build (tools and benchmarks)"
cmake --preset native-release >/dev/null
cmake --build --preset native-release -j "$JOBS"

step "Windows build (MinGW-w64)"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$JOBS"
step "Windows tests under Wine"
run_ctest --preset windows -j "$JOBS"

step "fuzz build (clang, libFuzzer)"
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$JOBS" --target load_song_fuzzer play_song_fuzzer
for fuzzer in load_song_fuzzer play_song_fuzzer; do
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
echo "tests: ${passed} passed, ${failed} failed"
