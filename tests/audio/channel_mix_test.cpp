#include "audio/channel_mix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "ahx/player.h"
#include "audio/memory_output.h"
#include "audio/mixer.h"
#include "support/synthetic_songs.h"
#include "support/wave_bank.h"

namespace {

using audio::ChannelMix;
using audio::kVoices;
using audio::VoiceRenderer;

std::unique_ptr<ahx::Player> startedPlayer(const ahx::Song& song) {
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&test_support::sharedBank());
    player->song = song;
    player->startSubsong(0);
    return player;
}

// The four voices of a song, `total` samples each, pulled in pieces of the
// sizes given in turn.
struct Voices {
    std::vector<int32_t> v[kVoices];
    const int32_t* at(int64_t offset, int k) const { return v[k].data() + offset; }
    std::vector<const int32_t*> pointers(int64_t offset = 0) const {
        return {at(offset, 0), at(offset, 1), at(offset, 2), at(offset, 3)};
    }
};

Voices renderVoices(const ahx::Song& song, int64_t total, const std::vector<int32_t>& pieces,
                    int32_t interpolate = 0) {
    auto player = startedPlayer(song);
    auto renderer = std::make_unique<VoiceRenderer>();
    EXPECT_EQ(renderer->setup(44100, 2, interpolate), 1);
    renderer->start(player.get());
    Voices out;
    for (auto& voice : out.v) voice.resize(size_t(total));
    int64_t done = 0;
    for (size_t i = 0; done < total; ++i) {
        const auto n = int32_t(std::min<int64_t>(pieces[i % pieces.size()], total - done));
        int32_t* targets[kVoices] = {out.v[0].data() + done, out.v[1].data() + done, out.v[2].data() + done,
                                     out.v[3].data() + done};
        renderer->render(targets, n);
        done += n;
    }
    EXPECT_EQ(renderer->samplesRendered(), total);
    return out;
}

std::vector<int16_t> mixAll(const ChannelMix& mix, const Voices& voices, int64_t total) {
    std::vector<int16_t> out(size_t(total) * size_t(mix.outputChannels()));
    mix.mix(voices.pointers().data(), int32_t(total), 0, out.data());
    return out;
}

ChannelMix configured(int32_t channels, int32_t separation, bool a = true, bool b = true, bool c = true,
                      bool d = true) {
    ChannelMix mix;
    const bool heard[kVoices] = {a, b, c, d};
    EXPECT_TRUE(mix.configure(channels, separation, heard));
    return mix;
}

TEST(VoiceRenderer, TheFourVoicesAddUpToTheMixersBlocksHoweverTheStreamIsCut) {
    // Speed multipliers whose ticks do and do not divide the block, both mixing modes.
    const struct {
        int32_t multiplier;
        int32_t interpolate;
    } cases[] = {{1, 0}, {3, 0}, {4, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.multiplier);
        const ahx::Song song = synthetic::busySong(21, c.multiplier);
        const int64_t blocks = 200;
        const Voices voices = renderVoices(song, blocks * 1764, {1, 1763, 7, 3529, 441, 2}, c.interpolate);

        auto player = startedPlayer(song);
        audio::Mixer reference;
        ASSERT_EQ(reference.setup(44100, 16, 2, 1.0f), 1);
        reference.setOption(1, c.interpolate);
        reference.start(player.get());
        for (int64_t b = 0; b < blocks; ++b) {
            reference.renderBlock();
            for (int64_t i = 0; i < 1764; ++i) {
                const auto at = size_t(b * 1764 + i);
                const int32_t sum = voices.v[0][at] + voices.v[1][at] + voices.v[2][at] + voices.v[3][at];
                ASSERT_EQ(sum, reference.mixBuffer[i]) << "block " << b << " sample " << i;
            }
        }
    }
}

TEST(ChannelMix, MonoOverAllVoicesIsTheDevicesOutputAndStereoAtSeparation0IsItOnBothSides) {
    const ahx::Song song = synthetic::busySong(4);
    const int64_t total = 10 * 44100;
    const Voices voices = renderVoices(song, total, {4096});

    auto player = startedPlayer(song);
    audio::MemoryOutput device;
    ASSERT_EQ(device.setup(44100, 16, 2, 1.0f), 1);
    ASSERT_EQ(device.play(player.get()), 1);
    std::vector<int16_t> expected(static_cast<size_t>(total));
    device.renderPcm16(expected.data(), total);

    EXPECT_EQ(mixAll(ChannelMix(), voices, total), expected);
    const std::vector<int16_t> stereo = mixAll(configured(2, 0), voices, total);
    for (size_t i = 0; i < size_t(total); ++i) {
        ASSERT_EQ(stereo[2 * i], expected[i]) << "left " << i;
        ASSERT_EQ(stereo[2 * i + 1], expected[i]) << "right " << i;
    }
}

TEST(ChannelMix, WhereTheMixClampsTheStemsStillAddUpToTheUnclampedSum) {
    // Louder than any song at unit gain: the sum leaves 16 bits, no stem does.
    std::vector<int32_t> loud[kVoices];
    for (int v = 0; v < kVoices; ++v) {
        for (int i = 0; i < 400; ++i) loud[v].push_back((i * (v + 3) * 37) % 401 - 200);
    }
    const int32_t* const voices[kVoices] = {loud[0].data(), loud[1].data(), loud[2].data(), loud[3].data()};
    for (int32_t channels : {1, 2}) {
        const ChannelMix mix = configured(channels, 30);
        std::vector<int16_t> full(400 * size_t(channels));
        mix.mix(voices, 400, 0, full.data());
        std::vector<int32_t> sum(full.size(), 0);
        for (int v = 0; v < kVoices; ++v) {
            std::vector<int16_t> stem(full.size());
            mix.stem(v, loud[v].data(), 400, 0, stem.data());
            for (size_t i = 0; i < sum.size(); ++i) sum[i] += stem[i];
        }
        int clamped = 0;
        for (size_t i = 0; i < sum.size(); ++i) {
            ASSERT_EQ(full[i], std::clamp(sum[i], -32768, 32767)) << i;
            if (sum[i] != full[i]) ++clamped;
        }
        EXPECT_GT(clamped, 0);
    }
}

TEST(ChannelMix, AFadeLeavesWhatComesBeforeItAndFallsToSilence) {
    const int64_t total = 4 * 44100;
    const int64_t fadeStart = total - 44100;
    const Voices voices = renderVoices(synthetic::busySong(6), total, {2048});
    const std::vector<int16_t> plain = mixAll(configured(2, 50), voices, total);
    ChannelMix mix = configured(2, 50);
    mix.setFade(fadeStart, 44100);
    // Cut into calls, the fade goes by the stream's frame numbers.
    std::vector<int16_t> faded(plain.size());
    for (int64_t at = 0; at < total; at += 1000) {
        const auto n = int32_t(std::min<int64_t>(1000, total - at));
        mix.mix(voices.pointers(at).data(), n, at, faded.data() + 2 * at);
    }
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 2 * fadeStart, faded.begin()));
    EXPECT_NE(faded, plain);
    // The curve: full, a quarter half way, nearly nothing at the end, then nothing.
    EXPECT_EQ(ChannelMix::fadeGain(fadeStart - 1, fadeStart, 44100), 65536);
    EXPECT_EQ(ChannelMix::fadeGain(fadeStart, fadeStart, 44100), 65536);
    EXPECT_NEAR(ChannelMix::fadeGain(fadeStart + 22050, fadeStart, 44100), 16384, 2);
    EXPECT_LT(ChannelMix::fadeGain(total - 1, fadeStart, 44100), 2);
    EXPECT_EQ(ChannelMix::fadeGain(total, fadeStart, 44100), 0);
    for (int64_t f = fadeStart; f < total; ++f) {
        ASSERT_LE(ChannelMix::fadeGain(f + 1, fadeStart, 44100), ChannelMix::fadeGain(f, fadeStart, 44100));
    }
    // The last tenth of a second is at most 1% of full scale.
    for (int64_t i = 2 * (total - 4410); i < 2 * total; ++i) ASSERT_LE(std::abs(faded[size_t(i)]), 330) << i;
}

TEST(VoiceRenderer, WithoutAPlayerTheVoicesAreSilentAndUnusableRatesAreRefused) {
    VoiceRenderer renderer;
    EXPECT_EQ(renderer.setup(0, 2, 0), 0);
    EXPECT_EQ(renderer.setup(44100, 0, 0), 0);
    ASSERT_EQ(renderer.setup(44100, 2, 0), 1);
    std::vector<int32_t> buffers[kVoices];
    for (auto& b : buffers) b.assign(100, 7);
    int32_t* targets[kVoices] = {buffers[0].data(), buffers[1].data(), buffers[2].data(), buffers[3].data()};
    renderer.render(targets, 100);
    for (auto& b : buffers) EXPECT_TRUE(std::all_of(b.begin(), b.end(), [](int32_t s) { return s == 0; }));
}

}  // namespace
