#include "shells/ahx/heard_sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

#include "audio/channel_mix.h"
#include "support/synthetic_songs.h"
#include "support/wave_bank.h"

namespace {

constexpr bool kAll[audio::kVoices] = {true, true, true, true};

// Each voice of the song, `total` samples, rendered in one go.
std::vector<std::vector<int32_t>> voicesOf(const ahx::Song& song, int64_t total) {
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&test_support::sharedBank());
    player->song = song;
    player->startSubsong(0);
    audio::VoiceRenderer renderer;
    renderer.setup(44100, 2, 0);
    renderer.start(player.get());
    std::vector<std::vector<int32_t>> voices(audio::kVoices, std::vector<int32_t>(size_t(total)));
    int32_t* targets[audio::kVoices] = {voices[0].data(), voices[1].data(), voices[2].data(),
                                        voices[3].data()};
    renderer.render(targets, int32_t(total));
    return voices;
}

TEST(HeardSound, LevelsAndPositionAreThoseOfTheSampleSoundingNow) {
    const ahx::Song song = synthetic::busySong(13);
    const std::vector<std::vector<int32_t>> voices = voicesOf(song, 6 * 44100);
    const bool heard[audio::kVoices] = {true, true, false, true};
    tools::HeardSound sound(song, test_support::sharedBank(), {}, heard);
    int64_t from = 0;
    // Uneven steps, as a status line refreshed by a busy terminal takes them.
    for (int64_t to : {2205, 2205, 4000, 30000, 30001, 100000, 264600}) {
        sound.advanceTo(to);
        EXPECT_EQ(sound.frame(), to);
        if (to == from) continue;
        for (int v = 0; v < audio::kVoices; ++v) {
            int32_t peak = 0;
            for (int64_t i = from; i < to; ++i) peak = std::max(peak, std::abs(voices[size_t(v)][size_t(i)]));
            EXPECT_EQ(sound.peak(v), heard[v] ? peak : 0) << "voice " << v << " up to " << to;
        }
        from = to;
    }
    // At 6 s, 300 ticks of 882 samples have sounded and no more.
    auto reference = std::make_unique<ahx::Player>();
    reference->bindWaveTables(&test_support::sharedBank());
    reference->song = song;
    reference->startSubsong(0);
    for (int t = 0; t < 300; ++t) reference->tick();
    EXPECT_EQ(sound.player().position, reference->position);
    EXPECT_EQ(sound.player().stepIndex, reference->stepIndex);
    EXPECT_EQ(sound.player().stepWait, reference->stepWait);
}

TEST(HeardSound, ANoteStillQueuedAheadShowsNoLevel) {
    // Silence until position 1, where channel 2 plays a note: the device has
    // long rendered it while the listener still hears nothing.
    ahx::Song song = synthetic::busySong(2);
    for (ahx::Position& p : song.positions) {
        for (int k = 0; k < ahx::kChannels; ++k) p.track[k] = 0;
    }
    song.tracks[0].assign(size_t(song.trackLength), ahx::Step{});
    song.tracks.push_back(std::vector<ahx::Step>(size_t(song.trackLength)));
    song.tracks.back()[0] = ahx::Step{25, 1, 0, 0};
    song.highestTrack = int32_t(song.tracks.size()) - 1;
    song.positions[1].track[1] = song.highestTrack;

    tools::HeardSound sound(song, test_support::sharedBank(), {}, kAll);
    // Position 1 begins at 32 steps of 6 ticks: 3.84 s.
    sound.advanceTo(int64_t(3.8 * 44100));
    for (int v = 0; v < audio::kVoices; ++v) EXPECT_EQ(sound.peak(v), 0) << v;
    EXPECT_EQ(tools::levelMeter(sound), " 1[     ] 2[     ] 3[     ] 4[     ]");
    sound.advanceTo(int64_t(4.0 * 44100));
    EXPECT_GT(sound.peak(1), 0);
    EXPECT_EQ(sound.peak(0), 0);
}

TEST(HeardSound, MeterCellsAreSixDecibelsEachAndLeftOutChannelsShowOff) {
    const int32_t peaks[] = {0, 3, 4, 7, 8, 16, 32, 63, 64, 128};
    const int32_t cells[] = {0, 0, 1, 1, 2, 3, 4, 4, 5, 5};
    for (size_t i = 0; i < std::size(peaks); ++i)
        EXPECT_EQ(tools::meterCells(peaks[i]), cells[i]) << peaks[i];

    const ahx::Song song = synthetic::busySong(5);
    const bool heard[audio::kVoices] = {false, true, true, true};
    tools::HeardSound sound(song, test_support::sharedBank(), {}, heard);
    sound.advanceTo(44100);
    const std::string meter = tools::levelMeter(sound);
    EXPECT_EQ(meter.substr(0, 9), " 1[ off ]") << meter;
    EXPECT_EQ(meter.size(), 4u * 9u) << meter;
}

}  // namespace
