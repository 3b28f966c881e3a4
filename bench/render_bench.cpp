// Render speed: tick, mix and 16-bit conversion, as the playback thread runs
// them, over busy songs that keep all four voices sounding. The counter
// "realtime" is seconds of sound made per second of one core.
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "ahx/player.h"
#include "audio/memory_output.h"
#include "support/synthetic_songs.h"

namespace {

constexpr int64_t kSecondsPerIteration = 10;

struct SongCase {
    uint32_t seed;
    int32_t speedMultiplier;
    int32_t interpolate;
};

constexpr SongCase kSongs[] = {
    {1, 1, 0}, {2, 1, 0}, {3, 2, 0}, {4, 4, 0}, {1, 1, 1},
};

void BM_Render(benchmark::State& state) {
    const SongCase& c = kSongs[state.range(0)];
    auto bank = std::make_unique<ahx::WaveTables>();
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(bank.get());
    player->song = synthetic::busySong(c.seed, c.speedMultiplier);
    player->startSubsong(0);
    audio::MemoryOutput out;
    out.setup(44100, 16, 2, 1.0f);
    out.setOption(1, c.interpolate);
    out.play(player.get());
    std::vector<int16_t> block(1764);

    for (auto _ : state) {
        for (int64_t b = 0; b < kSecondsPerIteration * 25; ++b) {
            out.renderPcm16(block.data(), int64_t(block.size()));
            benchmark::DoNotOptimize(block.data());
        }
    }
    state.counters["realtime"] =
        benchmark::Counter(double(state.iterations() * kSecondsPerIteration), benchmark::Counter::kIsRate);
    state.SetLabel("song " + std::to_string(c.seed) + ", x" + std::to_string(c.speedMultiplier) +
                   (c.interpolate != 0 ? ", interpolating" : ""));
}
BENCHMARK(BM_Render)->DenseRange(0, int(std::size(kSongs)) - 1)->Unit(benchmark::kMillisecond);

}  // namespace
