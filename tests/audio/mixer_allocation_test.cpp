// The playback path must not allocate: this program replaces the global
// allocator with one that counts, and renders a long stretch of busy songs.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "ahx/player.h"
#include "audio/channel_mix.h"
#include "audio/memory_output.h"
#include "support/counting_allocator.h"
#include "support/synthetic_songs.h"
#include "support/wave_bank.h"

namespace {

TEST(MixerAllocation, CountingSeesAllocations) {
    std::unique_ptr<std::vector<int>> probe;
    EXPECT_GE(test_support::allocationsDuring([&] { probe = std::make_unique<std::vector<int>>(10); }), 1);
}

TEST(MixerAllocation, RenderingAllocatesNothing) {
    for (int32_t multiplier = 1; multiplier <= 4; multiplier += 3) {
        auto player = std::make_unique<ahx::Player>();
        player->bindWaveTables(&test_support::sharedBank());
        player->song = synthetic::busySong(11, multiplier);
        player->startSubsong(0);
        audio::MemoryOutput out;
        ASSERT_EQ(out.setup(44100, 16, 2, 1.0f), 1);
        ASSERT_EQ(out.play(player.get()), 1);
        out.setOption(1, multiplier == 4 ? 1 : 0);
        std::vector<int16_t> pcm(4000);

        // Two minutes of sound: the song's end, its restart and every
        // instrument are passed through many times.
        long allocations = test_support::allocationsDuring([&] {
            for (int block = 0; block < 3000; ++block) {
                if (block % 2 == 0) {
                    out.mixer().renderBlock();
                } else {
                    out.renderPcm16(pcm.data(), int64_t(pcm.size()));
                }
                player->tick();
                int32_t* cursor = out.mixer().mixBuffer;
                out.mixer().mixVoices(441, &cursor);
            }
        });
        EXPECT_EQ(allocations, 0) << "multiplier " << multiplier;
    }
}

TEST(MixerAllocation, TheToolsStereoAndStemMixAllocatesNothing) {
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&test_support::sharedBank());
    player->song = synthetic::busySong(12, 3);
    player->startSubsong(0);
    auto renderer = std::make_unique<audio::VoiceRenderer>();
    ASSERT_EQ(renderer->setup(44100, 2, 0), 1);
    renderer->start(player.get());
    audio::ChannelMix mix;
    const bool heard[audio::kVoices] = {true, false, true, true};
    ASSERT_TRUE(mix.configure(2, 60, heard));
    mix.setFade(60 * 44100, 60 * 44100);
    std::vector<int32_t> voices(4 * 4096);
    int32_t* targets[audio::kVoices] = {&voices[0], &voices[4096], &voices[8192], &voices[12288]};
    std::vector<int16_t> out(2 * 4096);

    // Two minutes, the second half fading, in pieces that cut ticks apart.
    long allocations = test_support::allocationsDuring([&] {
        for (int64_t at = 0; at < 120 * 44100; at += 4001) {
            renderer->render(targets, 4001);
            mix.mix(targets, 4001, at, out.data());
            mix.stem(2, targets[2], 4001, at, out.data());
        }
    });
    EXPECT_EQ(allocations, 0);
}

}  // namespace
