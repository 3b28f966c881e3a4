// Player core: construction, the bank binding, subsong starts, the step and
// position timing of tick, song indices that point outside the song, and the
// volume envelope.
#include "ahx/player.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "ahx/song_image.h"
#include "support/player_fixture.h"
#include "support/synthetic_songs.h"

namespace ahx {
namespace {

using synthetic::addInstrument;
using synthetic::emptySong;
using synthetic::plainInstrument;
using synthetic::setStep;
using synthetic::usePosition;
using test::PlayerFixture;

TEST(PlayerTest, StartsWithSilentResetVoicesAndAnEmptySong) {
    auto player = std::make_unique<Player>();
    EXPECT_EQ(player->song.positionCount, 0);
    EXPECT_EQ(player->noiseSeed, 0u);
    EXPECT_EQ(player->waveTables, nullptr);
    for (const Voice& v : player->voices) {
        EXPECT_EQ(v.outVolume, 0);
        EXPECT_EQ(v.outPeriod, 0);
        EXPECT_EQ(v.channelVolume, 64);
        EXPECT_EQ(v.currentInstrument, nullptr);
        for (int8_t sample : v.outWave) ASSERT_EQ(sample, 0);
    }
}

TEST(PlayerTest, AnEmptyOrUnboundPlayerTicksInSilence) {
    // No bank and no song: every read falls on the empty step, nothing is played.
    auto player = std::make_unique<Player>();
    ASSERT_EQ(player->startSubsong(0), 1);
    for (int i = 0; i < 20; ++i) player->tick();
    for (const Voice& v : player->voices) {
        EXPECT_EQ(v.outVolume, 0);
        EXPECT_EQ(v.outPeriod, 0);
    }
    EXPECT_EQ(player->position, 0);
}

TEST(PlayerTest, ALoadLeavesNothingThatReadsTheOldSong) {
    // Run under AddressSanitizer: a voice left on the old song's instruments
    // or playlist reads freed memory at the next tick.
    const std::vector<uint8_t> busy = writeSongImage(imageOf(synthetic::busySong(3)));
    const std::vector<uint8_t> other = writeSongImage(imageOf(synthetic::busySong(4)));
    const std::vector<uint8_t> broken(busy.begin(), busy.begin() + std::ptrdiff_t(busy.size() / 2));
    auto player = std::make_unique<Player>();
    player->bindWaveTables(&test_support::sharedBank());

    auto playAWhile = [&] {
        ASSERT_EQ(player->startSubsong(0), 1);
        for (int i = 0; i < 150; ++i) player->tick();
        int sounding = 0;
        for (const Voice& v : player->voices) sounding += v.currentInstrument != nullptr && v.outVolume > 0;
        ASSERT_GT(sounding, 0);
    };
    auto expectSilentAndDetached = [&](const char* when) {
        SCOPED_TRACE(when);
        for (const Voice& v : player->voices) {
            EXPECT_EQ(v.currentInstrument, nullptr);
            EXPECT_EQ(v.currentPlaylist, nullptr);
            EXPECT_EQ(v.outVolume, 0);
        }
        // The new song has no subsongs: this start is refused and changes nothing.
        EXPECT_EQ(player->startSubsong(1), 0);
        for (int i = 0; i < 300; ++i) {
            player->tick();
            for (const Voice& v : player->voices) ASSERT_EQ(v.outVolume, 0) << "tick " << i;
        }
    };

    ASSERT_EQ(player->loadSong(busy.data(), int32_t(busy.size())), 1);
    playAWhile();
    ASSERT_EQ(player->loadSong(other.data(), int32_t(other.size())), 1);
    expectSilentAndDetached("after a load");
    EXPECT_EQ(player->position, 0);
    EXPECT_EQ(player->stepIndex, 0);

    playAWhile();
    ASSERT_EQ(player->loadSong(broken.data(), int32_t(broken.size())), 0);
    EXPECT_EQ(player->song.positionCount, 0);
    expectSilentAndDetached("after a failed load");

    // And the next good load plays as from a new player.
    ASSERT_EQ(player->loadSong(busy.data(), int32_t(busy.size())), 1);
    playAWhile();
}

TEST(PlayerTest, BindsTheUnfilteredSetOfAGivenBankOrOfItsOwn) {
    const WaveTables& bank = test_support::sharedBank();
    auto player = std::make_unique<Player>();
    player->bindWaveTables(&bank);
    EXPECT_EQ(player->waveTables, &bank);
    EXPECT_EQ(player->trianglePointer, bank.samples + 202120);
    EXPECT_EQ(player->sawtoothPointer, bank.samples + 202372);
    EXPECT_EQ(player->noisePointer, bank.samples + 206720);
    EXPECT_EQ(player->squarePointer, nullptr);

    player->bindWaveTables(nullptr);
    const WaveTables* own = player->waveTables;
    ASSERT_NE(own, nullptr);
    EXPECT_NE(own, &bank);
    EXPECT_EQ(std::memcmp(own->samples, bank.samples, kWaveTablesSize), 0);
    EXPECT_EQ(player->noisePointer, own->samples + 206720);
    player->bindWaveTables(nullptr);
    EXPECT_EQ(player->waveTables, own);  // reused, not generated again
}

class SubsongTest : public PlayerFixture {
protected:
    void SetUp() override {
        song = emptySong(4, 5);
        song.restartPosition = 2;
        song.subsongs = {3, 1, 9, 5};
        song.subsongCount = 4;
    }
};

TEST_F(SubsongTest, StartsAtItsPositionOrRefuses) {
    struct Case {
        int32_t n;
        int expectedResult;
        int32_t expectedPosition;
    };
    const Case cases[] = {
        {0, 1, 0},   {1, 1, 3}, {2, 1, 1}, {3, 1, 0},  // start 9 lies beyond the 5 positions
        {4, 1, 2},                                     // start 5 is the end of the list: the restart position
        {5, 0, 77},                                    // beyond subsongCount: nothing changes
        {-1, 0, 77},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.n);
        player.position = 77;
        player.tempo = 3;
        EXPECT_EQ(player.startSubsong(c.n), c.expectedResult);
        EXPECT_EQ(player.position, c.expectedPosition);
        EXPECT_EQ(player.tempo, c.expectedResult ? 6 : 3);
    }
}

TEST_F(SubsongTest, StartResetsTheVoicesButNotTheNoiseSeed) {
    player.noiseSeed = 1234;
    voice(2).channelVolume = 10;
    voice(2).outWave[5] = 9;
    ASSERT_EQ(player.startSubsong(2), 1);
    EXPECT_EQ(player.noiseSeed, 1234u);
    EXPECT_EQ(voice(2).channelVolume, 64);
    EXPECT_EQ(voice(2).outWave[5], 0);
}

// Track 1 holds notes 1..4, track 2 notes 11..14; position 0 plays track 1 on
// channel 0, position 1 track 2, and the song restarts at position 1.
class TimingTest : public PlayerFixture {
protected:
    void SetUp() override {
        song = emptySong(4, 2, 3);
        for (int32_t i = 0; i < 4; ++i) {
            setStep(song, 1, i, 1 + i, 0);
            setStep(song, 2, i, 11 + i, 0);
        }
        usePosition(song, 0, 0, 1);
        usePosition(song, 1, 0, 2);
        song.restartPosition = 1;
    }
};

TEST_F(TimingTest, ReadsAStepEveryTempoFramesAndWrapsToTheRestartPosition) {
    start();
    struct Row {
        int tick;
        int32_t trackNote;
        int32_t positionAfter;
        int32_t stepIndexAfter;
    };
    const Row rows[] = {
        {1, 1, 0, 0},  {2, 1, 0, 0},  {6, 1, 0, 1},   {7, 2, 0, 1},   {12, 2, 0, 2},  {13, 3, 0, 2},
        {19, 4, 0, 3}, {24, 4, 1, 0}, {25, 11, 1, 0}, {31, 12, 1, 1}, {48, 14, 1, 0}, {49, 11, 1, 0},
    };
    int ticked = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tick);
        run(row.tick - ticked);
        ticked = row.tick;
        EXPECT_EQ(voice(0).trackNote, row.trackNote);
        EXPECT_EQ(player.position, row.positionAfter);
        EXPECT_EQ(player.stepIndex, row.stepIndexAfter);
    }
    // The last position looks ahead to position 0, not to the restart position.
    EXPECT_EQ(voice(0).trackNumber, 2);
    EXPECT_EQ(voice(0).nextTrackNumber, 1);
}

TEST_F(TimingTest, PlaysASongThroughItsStoredForm) {
    Instrument instrument = plainInstrument();
    instrument.playlist = {synthetic::row(4, 1)};
    setStep(song, 1, 0, 1, addInstrument(song, instrument));
    const std::vector<uint8_t> bytes = writeSongImage(imageOf(song));
    ASSERT_FALSE(bytes.empty());
    ASSERT_EQ(loadSong(song, bytes.data(), int32_t(bytes.size())), 1);
    start();
    run(1);
    EXPECT_EQ(voice(0).currentInstrument, &song.instruments[1]);
    EXPECT_EQ(voice(0).waveform, 3);
    EXPECT_EQ(voice(0).outVolume, 64);
    EXPECT_EQ(voice(0).outPeriod, 3424);
    run(24);
    EXPECT_EQ(voice(0).trackNote, 11);
    EXPECT_EQ(player.position, 1);
}

TEST_F(TimingTest, TempoZeroReadsTheSameStepOnEveryTick) {
    setStep(song, 1, 0, 5, 0, 0xF, 0x00);
    start();
    for (int i = 0; i < 10; ++i) {
        voice(0).trackNote = 0;
        player.tick();
        EXPECT_EQ(voice(0).trackNote, 5);
        EXPECT_EQ(player.tempo, 0);
        EXPECT_EQ(player.stepWait, 0);
    }
    EXPECT_EQ(player.stepIndex, 0);
    EXPECT_EQ(player.position, 0);
}

TEST_F(TimingTest, SongIndicesOutsideTheSongReadAsEmpty) {
    usePosition(song, 0, 1, 9);  // above highestTrack
    setStep(song, 1, 0, 5, 3);   // instrument 3 of 1
    addInstrument(song);
    song.restartPosition = 50;
    start();
    run(1);
    EXPECT_EQ(voice(0).trackNote, 5);
    EXPECT_EQ(voice(0).currentInstrument, nullptr);
    EXPECT_EQ(voice(1).trackNumber, 9);
    EXPECT_EQ(voice(1).trackNote, 0);
    run(47);
    // Position 1 has ended; the restart position lies beyond the list.
    EXPECT_EQ(player.position, 0);
    run(1);
    EXPECT_EQ(voice(0).trackNote, 5);
}

TEST_F(TimingTest, AnInstrumentBeyondTheCountIsNotSeenByTheHardCut) {
    addInstrument(song);
    usePosition(song, 0, 2, 2);
    setStep(song, 2, 1, 0, 2);
    start();
    voice(2).hardCutFrames = 2;
    run(1);
    EXPECT_EQ(voice(2).noteCutOn, 0);
    song.instrumentCount = 2;
    song.instruments.push_back(plainInstrument());
    run(1);
    EXPECT_EQ(voice(2).noteCutOn, 1);
}

struct EnvelopeCase {
    const char* name;
    int32_t attackFrames, attackVolume, decayFrames, decayVolume, sustainFrames, releaseFrames, releaseVolume;
    std::vector<int32_t> volumes;  // envelopeVolume after each frame
};

TEST(EnvelopeTest, EveryPhaseEndsOnItsTarget) {
    const EnvelopeCase cases[] = {
        {"phases", 3, 10, 2, 4, 2, 3, 0, {853, 1706, 2560, 1792, 1024, 1024, 1024, 683, 342, 0, 0, 0}},
        {"attack of one frame", 1, 64, 1, 64, 0, 1, 64, {16384, 16384, 16384, 16384}},
        {"zero-length phases take one frame", 0, 40, 0, 20, 0, 0, 30, {10240, 5120, 7680, 7680}},
        {"rising release", 2, 1, 1, 0, 1, 4, 64, {128, 256, 0, 0, 4096, 8192, 12288, 16384, 16384}},
    };
    for (const EnvelopeCase& c : cases) {
        SCOPED_TRACE(c.name);
        Instrument instrument;
        instrument.attackFrames = c.attackFrames;
        instrument.attackVolume = c.attackVolume;
        instrument.decayFrames = c.decayFrames;
        instrument.decayVolume = c.decayVolume;
        instrument.sustainFrames = c.sustainFrames;
        instrument.releaseFrames = c.releaseFrames;
        instrument.releaseVolume = c.releaseVolume;
        Voice v{};
        v.resetVoice();
        v.currentInstrument = &instrument;
        v.computeEnvelope();
        std::vector<int32_t> volumes;
        for (size_t i = 0; i < c.volumes.size(); ++i) {
            v.advanceEnvelope();
            volumes.push_back(v.envelopeVolume);
        }
        EXPECT_EQ(volumes, c.volumes);
    }
}

TEST(EnvelopeTest, VolumesAboveTheRangeAreHeldAt64) {
    Instrument instrument;
    instrument.attackFrames = 2;
    instrument.attackVolume = 200;
    instrument.decayFrames = 1;
    instrument.decayVolume = 64;
    Voice v{};
    v.resetVoice();
    v.currentInstrument = &instrument;
    v.computeEnvelope();
    v.advanceEnvelope();
    EXPECT_EQ(v.envelopeVolume, 8192);
    v.advanceEnvelope();
    EXPECT_EQ(v.envelopeVolume, 16384);
}

TEST(EnvelopeTest, AHardCutReleaseReplacesTheRemainingPhases) {
    Instrument instrument;
    instrument.attackFrames = 1;
    instrument.attackVolume = 64;
    instrument.decayFrames = 10;
    instrument.decayVolume = 10;
    instrument.sustainFrames = 50;
    instrument.releaseVolume = 16;
    Voice v{};
    v.resetVoice();
    v.currentInstrument = &instrument;
    v.computeEnvelope();
    v.advanceEnvelope();
    ASSERT_EQ(v.envelopeVolume, 16384);

    v.releaseEnvelope(3);
    EXPECT_EQ(v.envelope.releaseStep, -4096);
    std::vector<int32_t> volumes;
    for (int i = 0; i < 4; ++i) {
        v.advanceEnvelope();
        volumes.push_back(v.envelopeVolume);
    }
    EXPECT_EQ(volumes, (std::vector<int32_t>{12288, 8192, 4096, 4096}));

    // A release of no frames lands on the release volume in one.
    v.envelopeVolume = 1000;
    v.releaseEnvelope(0);
    v.advanceEnvelope();
    EXPECT_EQ(v.envelopeVolume, 4096);
    EXPECT_EQ(v.envelope.releaseLeft, 0);
}

}  // namespace
}  // namespace ahx
