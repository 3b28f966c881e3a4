#include "audio/memory_output.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "ahx/player.h"
#include "audio/mixer.h"
#include "audio/sample_conversion.h"
#include "support/synthetic_songs.h"
#include "support/wave_bank.h"

namespace {

using audio::MemoryOutput;

// A fresh player and output, as a freshly started program has them.
struct Stream {
    explicit Stream(const ahx::Song& song) {
        player->bindWaveTables(&test_support::sharedBank());
        player->song = song;
        player->startSubsong(0);
        EXPECT_EQ(out.setup(44100, 16, 2, 1.0f), 1);
        EXPECT_EQ(out.play(player.get()), 1);
    }

    std::vector<int16_t> render(const std::vector<int64_t>& pieces) {
        std::vector<int16_t> samples;
        for (int64_t n : pieces) {
            std::vector<int16_t> part(static_cast<size_t>(n));
            EXPECT_EQ(out.renderPcm16(part.data(), n), n);
            samples.insert(samples.end(), part.begin(), part.end());
        }
        return samples;
    }

    std::unique_ptr<ahx::Player> player = std::make_unique<ahx::Player>();
    MemoryOutput out;
};

TEST(MemoryOutput, WholeAndPiecewiseRendersAreIdentical) {
    const ahx::Song song = synthetic::busySong(7);
    const int64_t total = 20 * 44100 + 123;
    Stream whole(song);
    std::vector<int16_t> a = whole.render({total});

    std::vector<int64_t> pieces;
    int64_t left = total;
    const int64_t sizes[] = {1, 1763, 1765, 7, 3528, 881, 4099, 2};
    for (size_t i = 0; left > 0; ++i) {
        const int64_t n = std::min(left, sizes[i % std::size(sizes)]);
        pieces.push_back(n);
        left -= n;
    }
    Stream cut(song);
    std::vector<int16_t> b = cut.render(pieces);
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) ASSERT_EQ(a[i], b[i]) << "sample " << i;

    // The song does sound, and loud enough that some of it is clamped.
    int nonZero = 0;
    for (int16_t s : a) nonZero += s != 0;
    EXPECT_GT(nonZero, total / 2);
}

// The samples are the mixer's blocks, each mixed sample << 6 clamped.
TEST(MemoryOutput, SamplesAreTheConvertedBlocks) {
    const ahx::Song song = synthetic::busySong(3, 2);
    Stream stream(song);
    std::vector<int16_t> got = stream.render({10 * 1764});

    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&test_support::sharedBank());
    player->song = song;
    player->startSubsong(0);
    audio::Mixer mixer;
    ASSERT_EQ(mixer.setup(44100, 16, 2, 1.0f), 1);
    mixer.start(player.get());
    for (int block = 0; block < 10; ++block) {
        mixer.renderBlock();
        for (int i = 0; i < 1764; ++i) {
            ASSERT_EQ(got[size_t(block * 1764 + i)], audio::toPcm16(mixer.mixBuffer[i]))
                << "block " << block << " sample " << i;
        }
    }
}

TEST(MemoryOutput, RendersOnlyWhilePlaying) {
    MemoryOutput out;
    auto player = std::make_unique<ahx::Player>();
    int16_t sample = 0;
    EXPECT_EQ(out.play(player.get()), 0);  // not set up
    ASSERT_EQ(out.setup(44100, 16, 2, 1.0f), 1);
    EXPECT_EQ(out.play(nullptr), 0);
    EXPECT_EQ(out.renderPcm16(&sample, 1), 0);

    player->bindWaveTables(&test_support::sharedBank());
    player->song = synthetic::emptySong(4, 1);
    player->startSubsong(0);
    ASSERT_EQ(out.play(player.get()), 1);
    EXPECT_EQ(out.renderPcm16(&sample, 1), 1);
    EXPECT_EQ(out.renderPcm16(nullptr, 1), 0);
    EXPECT_EQ(out.stop(), 1);
    EXPECT_EQ(out.renderPcm16(&sample, 1), 0);
    EXPECT_EQ(out.release(), 1);
    EXPECT_EQ(out.play(player.get()), 0);
}

}  // namespace
