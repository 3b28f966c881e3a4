// Render speed: tick, mix and 16-bit conversion, as the playback thread runs
// them, over busy songs that keep all four voices sounding and over the ten
// tunes of the musicdisk. The counter "realtime" is seconds of sound made per
// second of one core (shown as a rate: 7.4k/s means 7400 x realtime).
#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "ahx/player.h"
#include "app/track_list.h"
#include "audio/memory_output.h"
#include "resources/embedded_resources.h"
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

// Renders from `player` until the benchmark has its answer.
void renderFor(benchmark::State& state, ahx::Player& player, int32_t interpolate) {
    audio::MemoryOutput out;
    out.setup(44100, 16, 2, 1.0f);
    out.setOption(1, interpolate);
    out.play(&player);
    std::vector<int16_t> block(1764);
    for (auto _ : state) {
        for (int64_t b = 0; b < kSecondsPerIteration * 25; ++b) {
            out.renderPcm16(block.data(), int64_t(block.size()));
            benchmark::DoNotOptimize(block.data());
        }
    }
    state.counters["realtime"] =
        benchmark::Counter(double(state.iterations() * kSecondsPerIteration), benchmark::Counter::kIsRate);
}

void BM_Render(benchmark::State& state) {
    const SongCase& c = kSongs[state.range(0)];
    auto bank = std::make_unique<ahx::WaveTables>();
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(bank.get());
    player->song = synthetic::busySong(c.seed, c.speedMultiplier);
    player->startSubsong(0);
    renderFor(state, *player, c.interpolate);
    state.SetLabel("song " + std::to_string(c.seed) + ", x" + std::to_string(c.speedMultiplier) +
                   (c.interpolate != 0 ? ", interpolating" : ""));
}
BENCHMARK(BM_Render)->DenseRange(0, int(std::size(kSongs)) - 1)->Unit(benchmark::kMillisecond);

void BM_RenderTrack(benchmark::State& state) {
    const auto index = size_t(state.range(0));
    size_t size = 0;
    const uint8_t* bytes = resources::findResource("AHX", app::trackResourceIds[index], &size);
    auto bank = std::make_unique<ahx::WaveTables>();
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(bank.get());
    if (bytes == nullptr || ahx::loadSong(player->song, bytes, int32_t(size)) != 1) {
        state.SkipWithError("the track's song is not in this build");
        return;
    }
    player->startSubsong(0);
    renderFor(state, *player, 0);
    state.SetLabel(app::trackTitles[index]);
}
BENCHMARK(BM_RenderTrack)->DenseRange(0, app::trackCount - 1)->Unit(benchmark::kMillisecond);

}  // namespace
