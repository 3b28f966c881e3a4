#include "audio/mixer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "ahx/player.h"
#include "support/synthetic_songs.h"
#include "support/wave_bank.h"

namespace {

using audio::kLoopEnd;
using audio::Mixer;

class MixerTest : public ::testing::Test {
protected:
    MixerTest() {
        EXPECT_EQ(out.setup(44100, 16, 2, 1.0f), 1);
        out.player = player.get();
    }

    // Voice c at `volume` and `period`, its loop filled by wave(i) for i = 0..639.
    template <typename Wave>
    void setVoice(int c, int32_t volume, int32_t period, Wave wave) {
        ahx::Voice& v = player->voices[c];
        v.outVolume = volume;
        v.outPeriod = period;
        for (int i = 0; i < ahx::kOutWaveLength; ++i) v.outWave[i] = int8_t(wave(i));
        v.outWave[ahx::kOutWaveLength] = v.outWave[0];
    }

    std::vector<int32_t> mix(int32_t count) {
        std::vector<int32_t> buffer(size_t(count) + 1, 0);
        int32_t* cursor = buffer.data();
        out.mixVoices(count, &cursor);
        EXPECT_EQ(cursor, buffer.data() + count);
        buffer.pop_back();
        return buffer;
    }

    std::unique_ptr<ahx::Player> player = std::make_unique<ahx::Player>();
    Mixer out;
};

int8_t pattern(int i) {
    return int8_t((i * 37 + 11) % 251 - 125);
}

TEST_F(MixerTest, VolumeTableAtUnitGain) {
    EXPECT_EQ(out.volumeTable[64][255], 127);
    EXPECT_EQ(out.volumeTable[64][0], -128);
    EXPECT_EQ(out.volumeTable[1][255], 1);
    EXPECT_EQ(out.volumeTable[1][0], -2);
    EXPECT_EQ(out.volumeTable[1][191], 0);
    EXPECT_EQ(out.volumeTable[32][127], 0);
    for (int k = 0; k < 256; ++k) {
        EXPECT_EQ(out.volumeTable[0][k], 0) << k;
        EXPECT_EQ(out.volumeTable[64][k], k - 128) << k;
    }
}

TEST_F(MixerTest, VolumeTableScalesByGainAndRefusesUnusableGains) {
    ASSERT_EQ(out.buildVolumeTable(0, 0.5f), 1);
    EXPECT_EQ(out.volumeTable[64][255], 63);  // 127 * 64 * 0.5 / 64 = 63.5, truncated
    EXPECT_EQ(out.volumeTable[64][0], -64);
    EXPECT_EQ(out.volumeTable[63][1], -62);  // -127 * 63 * 0.5 = -4000.5 -> -4000, / 64 -> -62
    float g = 0;
    ASSERT_EQ(out.getGain(0, &g), 1);
    EXPECT_EQ(g, 0.5f);

    int32_t before[65][256];
    std::memcpy(before, out.volumeTable, sizeof before);
    for (float bad : {std::numeric_limits<float>::quiet_NaN(), std::numeric_limits<float>::infinity(),
                      2000.0f, -1025.0f}) {
        EXPECT_EQ(out.buildVolumeTable(0, bad), 0) << bad;
    }
    EXPECT_EQ(std::memcmp(before, out.volumeTable, sizeof before), 0);
    ASSERT_EQ(out.getGain(0, &g), 1);
    EXPECT_EQ(g, 0.5f);
}

TEST_F(MixerTest, UnknownOptionIdsAnswerZeroAndChangeNothing) {
    int32_t before[65][256];
    std::memcpy(before, out.volumeTable, sizeof before);
    EXPECT_EQ(out.buildVolumeTable(1, 2.0f), 0);
    EXPECT_EQ(std::memcmp(before, out.volumeTable, sizeof before), 0);
    EXPECT_EQ(out.gain, 1.0f);

    EXPECT_EQ(out.setOption(0, 1), 0);
    EXPECT_EQ(out.interpolate, 0);

    float g = -3.0f;
    EXPECT_EQ(out.getGain(1, &g), 0);
    EXPECT_EQ(g, -3.0f);
    int32_t value = -3;
    EXPECT_EQ(out.getOption(0, &value), 0);
    EXPECT_EQ(value, -3);

    EXPECT_EQ(out.setOption(1, 1), 1);
    EXPECT_EQ(out.getOption(1, &value), 1);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(out.getGain(0, &g), 1);
    EXPECT_EQ(g, 1.0f);
}

TEST(MixerStep, FollowsThePeriod) {
    EXPECT_EQ(audio::stepForPeriod(428, 44100), 12428);
    EXPECT_EQ(audio::stepForPeriod(113, 44100), 47075);
    EXPECT_EQ(audio::stepForPeriod(3424, 44100), 1553);
    EXPECT_EQ(audio::stepForPeriod(0, 44100), 0);
    EXPECT_EQ(audio::stepForPeriod(-5, 44100), 0);
    // A rate no device has would step more than a loop per sample.
    EXPECT_EQ(audio::stepForPeriod(113, 10), kLoopEnd);
}

TEST_F(MixerTest, FirstRunEndsAsThePositionPassesTheLoop) {
    setVoice(0, 64, 428, pattern);
    // 3375 samples stay within the loop; the position after them is past its
    // end and is wrapped only when the next run starts.
    std::vector<int32_t> first = mix(3375);
    EXPECT_EQ(out.voicePositions[0], 3375 * 12428);
    EXPECT_GE(out.voicePositions[0], kLoopEnd);
    EXPECT_EQ(first[3374], pattern((3374 * 12428) >> 16));
    std::vector<int32_t> next = mix(1);
    EXPECT_EQ(next[0], pattern((3375 * 12428 - kLoopEnd) >> 16));
    EXPECT_EQ(out.voicePositions[0], 3376 * 12428 - kLoopEnd);
}

TEST_F(MixerTest, PositionOfExactlyOneLoopWrapsToTheStart) {
    setVoice(0, 64, 428, [](int i) { return i == 0 ? 5 : 1; });
    player->voices[0].outWave[640] = 99;  // must not be read in nearest mode
    out.voicePositions[0] = kLoopEnd;
    EXPECT_EQ(mix(1)[0], 5);
    EXPECT_EQ(out.voicePositions[0], 12428);

    out.voicePositions[0] = kLoopEnd - 1;  // sample 639 is still inside
    std::vector<int32_t> samples = mix(2);
    EXPECT_EQ(samples[0], 1);
    EXPECT_EQ(samples[1], 5);
    EXPECT_EQ(out.voicePositions[0], kLoopEnd - 1 + 2 * 12428 - kLoopEnd);
}

// Whatever the period and however the samples are cut into calls, the mix is
// that of a position stepping one sample at a time and wrapping at the loop.
TEST_F(MixerTest, NearestMixMatchesAPerSampleReference) {
    for (int32_t period : {113, 127, 254, 428, 1000, 2047, 3424}) {
        setVoice(1, 48, period, pattern);
        out.voicePositions[1] = 0;
        const int32_t step = audio::stepForPeriod(period, 44100);
        std::vector<int32_t> got;
        for (int32_t count : {1, 881, 3, 1764, 4000, 17, 9000}) {
            std::vector<int32_t> part = mix(count);
            got.insert(got.end(), part.begin(), part.end());
        }
        int32_t p = 0;
        for (size_t j = 0; j < got.size(); ++j) {
            ASSERT_EQ(got[j], out.volumeTable[48][128 + pattern(p >> 16)])
                << "period " << period << " sample " << j;
            p += step;
            if (p >= kLoopEnd) p -= kLoopEnd;
        }
    }
}

TEST_F(MixerTest, InterpolationBlendsNeighboursWithArithmeticShift) {
    ASSERT_EQ(out.setOption(1, 1), 1);
    setVoice(0, 64, 3424, [](int i) { return i == 0 ? 0 : i == 1 ? 64 : i == 2 ? -1 : 0; });
    player->voices[0].outWave[639] = 10;
    player->voices[0].outWave[640] = 20;

    out.voicePositions[0] = 0x8000;  // halfway from sample 0 to 1
    EXPECT_EQ(mix(1)[0], 32);
    out.voicePositions[0] = (2 << 16) | 0x8000;  // halfway from -1 to 0
    EXPECT_EQ(mix(1)[0], -1);
    out.voicePositions[0] = (639 << 16) | 0x8000;  // the last sample blends with the copy of the first
    EXPECT_EQ(mix(1)[0], 15);
    out.voicePositions[0] = 1 << 16;  // on a sample exactly
    EXPECT_EQ(mix(1)[0], 64);
}

TEST_F(MixerTest, SilentVoicesKeepTheirPositions) {
    setVoice(0, 0, 428, pattern);  // volume 0
    setVoice(1, 64, 0, pattern);   // sounding before any period was set
    setVoice(2, 0, 0, pattern);
    out.voicePositions[0] = 1234;
    out.voicePositions[1] = 5678;
    out.voicePositions[2] = 91011;
    for (int32_t v : mix(1764)) ASSERT_EQ(v, 0);
    EXPECT_EQ(out.voicePositions[0], 1234);
    EXPECT_EQ(out.voicePositions[1], 5678);
    EXPECT_EQ(out.voicePositions[2], 91011);
}

TEST_F(MixerTest, VoicesAddIntoTheSameSamples) {
    for (int c = 0; c < ahx::kChannels; ++c) {
        setVoice(c, 64, 428 + 100 * c, [c](int) { return 10 * (c + 1); });
    }
    std::vector<int32_t> buffer(100, 7);
    int32_t* cursor = buffer.data() + 10;
    out.mixVoices(80, &cursor);
    EXPECT_EQ(cursor, buffer.data() + 90);
    for (int j = 0; j < 100; ++j) EXPECT_EQ(buffer[size_t(j)], j >= 10 && j < 90 ? 107 : 7) << j;
}

TEST_F(MixerTest, CountZeroMixesNothing) {
    setVoice(0, 64, 428, pattern);
    std::vector<int32_t> buffer(8, 3);
    int32_t* cursor = buffer.data() + 2;
    out.mixVoices(0, &cursor);
    EXPECT_EQ(cursor, buffer.data() + 2);
    EXPECT_EQ(out.voicePositions[0], 0);
    for (int32_t v : buffer) EXPECT_EQ(v, 3);
}

TEST_F(MixerTest, OutOfRangeVoiceStateStaysInsideTheTables) {
    setVoice(0, 200, 428, [](int) { return -128; });  // volume above 64 plays as 64
    out.voicePositions[0] = -5;                       // and a position set from outside is folded back
    std::vector<int32_t> samples = mix(10);
    EXPECT_EQ(samples[0], -128);
    EXPECT_GE(out.voicePositions[0], 0);
    EXPECT_LT(out.voicePositions[0], 2 * kLoopEnd);
}

TEST_F(MixerTest, PositionsSurviveSetupAndANewPlayer) {
    setVoice(3, 64, 428, pattern);
    mix(1000);
    const int32_t kept = out.voicePositions[3];
    ASSERT_NE(kept, 0);
    ASSERT_EQ(out.setup(44100, 16, 2, 1.0f), 1);
    EXPECT_EQ(out.voicePositions[3], kept);
    auto other = std::make_unique<ahx::Player>();
    out.start(other.get());
    EXPECT_EQ(out.voicePositions[3], kept);
}

TEST(MixerSetup, SizesTheBufferAndRefusesUnusableFormats) {
    Mixer out;
    EXPECT_EQ(out.mixBuffer, nullptr);
    ASSERT_EQ(out.setup(44100, 16, 2, 1.0f), 1);
    EXPECT_EQ(out.blockSamples(), 1764);
    // A second setup gives back the first buffer (the leak checker watches).
    ASSERT_EQ(out.setup(22050, 8, 1, 1.0f), 1);
    EXPECT_EQ(out.blockSamples(), 441);
    EXPECT_EQ(out.bitsPerSample, 8);
    ASSERT_NE(out.mixBuffer, nullptr);

    EXPECT_EQ(out.setup(0, 16, 2, 1.0f), 0);
    EXPECT_EQ(out.mixBuffer, nullptr);
    EXPECT_EQ(out.setup(44100, 16, 0, 1.0f), 0);
    EXPECT_EQ(out.setup(10, 16, 1, 1.0f), 0);  // a block of no samples
    EXPECT_EQ(out.setup(1 << 30, 16, 1000, 1.0f), 0);
    EXPECT_EQ(out.setup(44100, 16, 2, std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(out.mixBuffer, nullptr);
    EXPECT_EQ(out.release(), 1);
    out.renderBlock();  // without a buffer there is nothing to render into
}

// Rendered a sample at a time, every tick of a block comes just before the
// first sample of its share, and the shares add up to the block.
TEST(MixerRenderBlock, EveryTickIsFollowedByItsShareOfTheBlock) {
    for (int32_t multiplier = 1; multiplier <= 4; ++multiplier) {
        SCOPED_TRACE(multiplier);
        auto player = std::make_unique<ahx::Player>();
        player->bindWaveTables(&test_support::sharedBank());
        player->song = synthetic::emptySong(64, 1);
        player->song.speedMultiplier = multiplier;
        player->startSubsong(0);
        Mixer out;
        ASSERT_EQ(out.setup(44100, 16, 2, 1.0f), 1);
        out.start(player.get());
        const int32_t ticksPerBlock = 2 * multiplier;
        ASSERT_EQ(out.blockTicks(), ticksPerBlock);
        // An empty song at tempo 6 reveals the ticks run so far through its
        // step counters: a step is read on ticks 1, 7, 13, ...
        auto ticksRun = [&] { return player->stepIndex * 6 + (6 - player->stepWait) % 6; };

        int32_t sample[1];
        int32_t* voices[audio::kVoices] = {sample, sample, sample, sample};
        std::vector<int32_t> shares;
        for (int32_t block = 0; block < 3; ++block) {
            for (int32_t j = 0; j < 1764; ++j) {
                const int32_t before = ticksRun();
                out.render(voices, 1);
                const int32_t i = ticksRun() - block * ticksPerBlock - 1;
                ASSERT_GE(i, 0) << "block " << block << " sample " << j;
                ASSERT_LT(i, ticksPerBlock) << "block " << block << " sample " << j;
                // The sample lies in the share of the tick that ran last.
                ASSERT_TRUE(j >= i * 1764 / ticksPerBlock && j < (i + 1) * 1764 / ticksPerBlock)
                    << "block " << block << " sample " << j << " tick " << i;
                if (ticksRun() != before) shares.push_back(0);
                ++shares.back();
            }
        }
        ASSERT_EQ(shares.size(), size_t(3 * ticksPerBlock));
        if (multiplier == 1) {
            EXPECT_EQ(shares[0], 882);
        }
        if (multiplier == 3) {
            EXPECT_EQ(shares[5], 294);
        }
        if (multiplier == 4) {
            EXPECT_EQ(shares[0], 220);
            EXPECT_EQ(shares[1], 221);
        }
        // An empty song is silent, and renderBlock gives the whole block.
        std::fill_n(out.mixBuffer, 1764, 12345);
        out.renderBlock();
        for (int32_t j = 0; j < 1764; ++j) ASSERT_EQ(out.mixBuffer[j], 0) << j;
        EXPECT_EQ(ticksRun(), 4 * ticksPerBlock);
    }
}

}  // namespace
