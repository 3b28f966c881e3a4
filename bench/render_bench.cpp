// Render speed: tick, mix and 16-bit conversion, as the playback thread runs
// them, over busy songs that keep all four voices sounding and over the ten
// tunes of the musicdisk. The counter "realtime" is seconds of sound made per
// second of one core (shown as a rate: 7.4k/s means 7400 x realtime).
// Each case runs twice, side by side: mode:0 is the program's mono output,
// mode:1 the `ahx` tool's stereo (each voice on its own, then panned).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "audio/channel_mix.h"
#include "audio/memory_output.h"
#include "audio/stream_format.h"
#include "core/track_list.h"
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

void reportSpeed(benchmark::State& state) {
    state.counters["realtime"] =
        benchmark::Counter(double(state.iterations() * kSecondsPerIteration), benchmark::Counter::kIsRate);
}

// The tool's stereo at its default separation, in the device's block size.
void renderStereoFor(benchmark::State& state, ahx::Player& player, int32_t interpolate) {
    auto renderer = std::make_unique<audio::VoiceRenderer>();
    constexpr int32_t kBlock = audio::kBlockSamples;
    renderer->setup(audio::kSampleRate, audio::kFramesPerBlock, interpolate);
    renderer->start(&player);
    audio::ChannelMix mix;
    const bool heard[audio::kVoices] = {true, true, true, true};
    mix.configure(2, 50, heard);
    std::vector<int32_t> voices(4 * kBlock);
    int32_t* targets[audio::kVoices] = {&voices[0], &voices[kBlock], &voices[2 * kBlock],
                                        &voices[3 * kBlock]};
    std::vector<int16_t> block(2 * kBlock);
    int64_t frame = 0;
    for (auto _ : state) {
        for (int64_t b = 0; b < kSecondsPerIteration * audio::kSampleRate / kBlock; ++b) {
            renderer->render(targets, kBlock);
            mix.mix(targets, kBlock, frame, block.data());
            frame += kBlock;
            benchmark::DoNotOptimize(block.data());
        }
    }
    reportSpeed(state);
}

// Renders from `player` until the benchmark has its answer.
void renderFor(benchmark::State& state, ahx::Player& player, int32_t interpolate) {
    if (state.range(1) != 0) return renderStereoFor(state, player, interpolate);
    audio::MemoryOutput out;
    out.setup(audio::kSampleRate, audio::kBitsPerSample, audio::kFramesPerBlock, 1.0f);
    out.setOption(1, interpolate);
    out.play(&player);
    std::vector<int16_t> block(audio::kBlockSamples);
    for (auto _ : state) {
        for (int64_t b = 0; b < kSecondsPerIteration * audio::kSampleRate / audio::kBlockSamples; ++b) {
            out.renderPcm16(block.data(), int64_t(block.size()));
            benchmark::DoNotOptimize(block.data());
        }
    }
    reportSpeed(state);
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
                   (c.interpolate != 0 ? ", interpolating" : "") +
                   (state.range(1) != 0 ? ", stereo" : ", mono"));
}
// Mono and stereo of each case one after the other.
void monoAndStereo(benchmark::internal::Benchmark* b, int cases) {
    for (int c = 0; c < cases; ++c) {
        for (int mode = 0; mode < 2; ++mode) b->Args({c, mode});
    }
}

BENCHMARK(BM_Render)
    ->Apply([](benchmark::internal::Benchmark* b) { monoAndStereo(b, int(std::size(kSongs))); })
    ->ArgNames({"song", "mode"})
    ->Unit(benchmark::kMillisecond);

void BM_RenderTrack(benchmark::State& state) {
    const auto index = size_t(state.range(0));
    size_t size = 0;
    const uint8_t* bytes = resources::findResource("AHX", core::trackResourceIds[index], &size);
    auto bank = std::make_unique<ahx::WaveTables>();
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(bank.get());
    if (bytes == nullptr || ahx::loadSong(player->song, bytes, int32_t(size)) != 1) {
        state.SkipWithError("the track's song is not in this build");
        return;
    }
    player->startSubsong(0);
    renderFor(state, *player, 0);
    state.SetLabel(std::string(core::trackTitles[index]) + (state.range(1) != 0 ? ", stereo" : ", mono"));
}
BENCHMARK(BM_RenderTrack)
    ->Apply([](benchmark::internal::Benchmark* b) { monoAndStereo(b, core::trackCount); })
    ->ArgNames({"track", "mode"})
    ->Unit(benchmark::kMillisecond);

}  // namespace
