// Listens to every tune the musicdisk ships: a minute of each must be music
// throughout, use all four channels and stay clear of the 16-bit clamp.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "audio/memory_output.h"
#include "audio/stream_format.h"
#include "support/wave_bank.h"

namespace {

constexpr int kSampleRate = audio::kSampleRate;
constexpr int kSeconds = 60;
constexpr int kWindow = 5 * kSampleRate;

std::vector<uint8_t> readSong(int track) {
    char name[64];
    std::snprintf(name, sizeof name, "/resources/songs/track%02d.ahx", track);
    std::ifstream in(std::string(VELTRANE_SOURCE_DIR) + name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

class SongContent : public ::testing::TestWithParam<int> {};

TEST_P(SongContent, AMinuteOfMusicOnAllChannelsWithoutClipping) {
    const std::vector<uint8_t> bytes = readSong(GetParam());
    ASSERT_FALSE(bytes.empty()) << "track " << GetParam() << " is missing";

    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&test_support::sharedBank());
    ASSERT_EQ(ahx::loadSong(player->song, bytes.data(), int32_t(bytes.size())), 1);
    ASSERT_EQ(player->startSubsong(0), 1);
    auto output = std::make_unique<audio::MemoryOutput>();
    ASSERT_EQ(output->setup(kSampleRate, audio::kBitsPerSample, audio::kFramesPerBlock, 1.0f), 1);
    ASSERT_EQ(output->play(player.get()), 1);

    const int blockSamples = output->blockSamples();
    std::vector<int16_t> pcm(size_t(kSeconds) * kSampleRate);
    bool heard[ahx::kChannels] = {};
    for (size_t done = 0; done < pcm.size(); done += size_t(blockSamples)) {
        const int64_t n = std::min<int64_t>(blockSamples, int64_t(pcm.size() - done));
        ASSERT_EQ(output->renderPcm16(pcm.data() + done, n), n);
        for (int k = 0; k < ahx::kChannels; ++k) {
            const ahx::Voice& v = player->voices[k];
            heard[k] = heard[k] || (v.outVolume > 0 && v.outPeriod > 0);
        }
    }
    output->release();

    for (int k = 0; k < ahx::kChannels; ++k) EXPECT_TRUE(heard[k]) << "channel " << k << " is never heard";

    int64_t clamped = 0;
    for (int16_t s : pcm) clamped += (s == 32767 || s == -32768);
    EXPECT_LT(double(clamped), 0.001 * double(pcm.size())) << clamped << " samples hit the clamp";

    // No 5-second stretch may be (nearly) silent: its loudest sample must
    // stand clear of the noise floor. Windows step by a second.
    for (size_t start = 0; start + kWindow <= pcm.size(); start += kSampleRate) {
        int peak = 0;
        for (size_t i = start; i < start + kWindow; ++i) peak = std::max(peak, std::abs(int(pcm[i])));
        EXPECT_GT(peak, 512) << "silent from " << start / kSampleRate << " s";
    }
}

INSTANTIATE_TEST_SUITE_P(Tracks, SongContent, ::testing::Range(1, 11),
                         [](const ::testing::TestParamInfo<int>& param) {
                             return "track" + std::to_string(param.param);
                         });

}  // namespace
