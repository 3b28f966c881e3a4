// Frame processing: hard cuts, vibrato, the playlist and its commands, square
// and filter modulation, the waveform sources (noise included), periods,
// volumes and the copy into the mixer's fields.
#include <gtest/gtest.h>

#include <cstddef>
#include <limits>
#include <vector>

#include "ahx/player.h"
#include "support/player_fixture.h"

namespace ahx {
namespace {

using synthetic::addInstrument;
using synthetic::emptySong;
using synthetic::plainInstrument;
using synthetic::setStep;
using synthetic::usePosition;
using test::bankSample;
using test::PlayerFixture;

constexpr size_t kSet31 = size_t(kUnfilteredSet) * kWaveSetSize;

// Channel 0 plays track 1 at position 0 and track 2 at position 1.
class FrameTest : public PlayerFixture {
protected:
    void SetUp() override {
        song = emptySong(8, 2, 3);
        usePosition(song, 0, 0, 1);
        usePosition(song, 1, 0, 2);
    }

    std::vector<int32_t> outVolumes(int ticks) {
        std::vector<int32_t> volumes;
        for (int i = 0; i < ticks; ++i) {
            player.tick();
            volumes.push_back(voice(0).outVolume);
        }
        return volumes;
    }

    // Expects outWave of channel k to hold `length`-sample periods read from
    // the bank at `offset`, `stride` bytes apart, and the loop copy at 640.
    void expectWave(int k, size_t offset, int32_t length, int32_t stride = 1) {
        const Voice& v = voice(k);
        for (int32_t i = 0; i < kOutWaveLength; ++i) {
            ASSERT_EQ(v.outWave[i], bankSample(offset + size_t((i % length) * stride))) << i;
        }
        EXPECT_EQ(v.outWave[kOutWaveLength], v.outWave[0]);
    }
};

struct HardCutCase {
    const char* name;
    int32_t frames;
    int32_t release;
    int32_t releaseVolume;
    bool nextInstrument;
    std::vector<int32_t> volumes;  // outVolume of ticks 1..7; tick 7 starts the next step
};

TEST_F(FrameTest, HardCut) {
    const HardCutCase cases[] = {
        {"no instrument follows", 2, 0, 0, false, {64, 64, 64, 64, 64, 64, 64}},
        {"cut two frames early", 2, 0, 0, true, {64, 64, 64, 64, 0, 0, 64}},
        {"release over the cut frames", 2, 1, 0, true, {64, 64, 64, 64, 32, 0, 64}},
        {"at the tempo it cuts on every frame", 6, 0, 0, true, {0, 0, 0, 0, 0, 0, 64}},
        {"and restarts its release on every frame", 7, 1, 32, true, {5, 9, 13, 16, 19, 21, 64}},
    };
    for (const HardCutCase& c : cases) {
        SCOPED_TRACE(c.name);
        song = emptySong(8, 2, 3);
        usePosition(song, 0, 0, 1);
        Instrument instrument = plainInstrument();
        instrument.hardCutReleaseFrames = c.frames;
        instrument.hardCutRelease = c.release;
        instrument.releaseVolume = c.releaseVolume;
        const int32_t number = addInstrument(song, instrument);
        setStep(song, 1, 0, 13, number);
        setStep(song, 1, 1, 13, c.nextInstrument ? number : 0);
        start();
        EXPECT_EQ(outVolumes(7), c.volumes);
    }
}

TEST_F(FrameTest, HardCutOnTheLastStepLooksAtTheNextPosition) {
    Instrument instrument = plainInstrument();
    instrument.hardCutReleaseFrames = 2;
    const int32_t number = addInstrument(song, instrument);
    setStep(song, 1, 7, 13, number);
    start();
    run(42);
    EXPECT_EQ(outVolumes(6), (std::vector<int32_t>{64, 64, 64, 64, 64, 64}));

    setStep(song, 2, 0, 0, number);
    start();
    run(42);
    EXPECT_EQ(outVolumes(6), (std::vector<int32_t>{64, 64, 64, 64, 0, 0}));
}

TEST_F(FrameTest, HardCutReleaseAtTempoZeroTakesOneFrame) {
    Instrument instrument = plainInstrument();
    instrument.hardCutReleaseFrames = 1;
    instrument.hardCutRelease = 1;
    instrument.releaseVolume = 20;
    const int32_t number = addInstrument(song, instrument);
    setStep(song, 1, 0, 13, number, 0xF, 0x00);
    setStep(song, 1, 1, 13, number);
    start();
    for (int i = 0; i < 3; ++i) {
        player.tick();
        EXPECT_EQ(voice(0).hardCutReleaseLength, 0);
        EXPECT_EQ(voice(0).envelopeVolume, 20 * 256);
    }
}

TEST_F(FrameTest, NoteCutWithReleaseBeforeAnyHardCutFadesInOneFrame) {
    Instrument instrument = plainInstrument();
    instrument.hardCutRelease = 1;
    instrument.releaseVolume = 10;
    const int32_t number = addInstrument(song, instrument);
    setStep(song, 1, 0, 13, number, 0xE, 0xC2);
    start();
    run(2);
    EXPECT_EQ(voice(0).envelopeVolume, 64 * 256);
    run(1);
    EXPECT_EQ(voice(0).envelopeVolume, 10 * 256);
    EXPECT_EQ(voice(0).outVolume, 10);
}

TEST_F(FrameTest, VibratoStartsAfterItsDelay) {
    Instrument instrument = plainInstrument();
    instrument.vibratoDelay = 2;
    instrument.vibratoDepth = 4;
    instrument.vibratoSpeed = 8;
    setStep(song, 1, 0, 25, addInstrument(song, instrument));
    start();
    std::vector<int32_t> offsets;
    std::vector<int32_t> periods;
    for (int i = 0; i < 11; ++i) {
        player.tick();
        offsets.push_back(voice(0).vibratoOffset);
        periods.push_back(voice(0).outPeriod);
    }
    EXPECT_EQ(offsets, (std::vector<int32_t>{0, 0, 0, 5, 7, 5, 0, -6, -8, -6, 0}));
    EXPECT_EQ(periods, (std::vector<int32_t>{856, 856, 856, 861, 863, 861, 856, 850, 848, 850, 856}));
}

TEST_F(FrameTest, PlaylistRowsRunAtTheirSpeed) {
    Instrument instrument = plainInstrument();
    instrument.playlist = {synthetic::row(2, 5, 7, 2), synthetic::row(6, 7, 5, 0)};
    instrument.playlistLength = 2;
    setStep(song, 1, 0, 13, addInstrument(song, instrument));
    start();
    std::vector<int32_t> notes;
    for (int i = 0; i < 7; ++i) {
        player.tick();
        notes.push_back(voice(0).instrumentNote);
        EXPECT_EQ(voice(0).waveform, 1);  // waveform 6 names no source and keeps the sawtooth
    }
    EXPECT_EQ(notes, (std::vector<int32_t>{5, 5, 7, 7, 5, 5, 7}));
}

TEST_F(FrameTest, PlaylistSlidesStopWhenThePlaylistHasRunOut) {
    struct Case {
        int32_t command;
        std::vector<int32_t> periods;
    };
    const Case cases[] = {{1, {851, 846, 846, 846}}, {2, {861, 866, 866, 866}}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        song = emptySong(8, 2, 3);
        usePosition(song, 0, 0, 1);
        Instrument instrument = plainInstrument();
        instrument.playlist = {synthetic::row(1, 1, c.command, 5)};
        setStep(song, 1, 0, 25, addInstrument(song, instrument));
        start();
        std::vector<int32_t> periods;
        for (int i = 0; i < 4; ++i) {
            player.tick();
            periods.push_back(voice(0).outPeriod);
        }
        EXPECT_EQ(periods, c.periods);
    }
}

struct PlaylistCommandCase {
    const char* name;
    int32_t version;
    int32_t command;
    int32_t parameter;
    int32_t Voice::*field;
    int32_t expected;
};

TEST_F(FrameTest, PlaylistCommands) {
    const PlaylistCommandCase cases[] = {
        {"filter", 1, 0, 40, &Voice::filterPos, 40},
        {"filter 0 is no command", 1, 0, 0, &Voice::filterPos, 32},
        {"filter beyond the bank", 1, 0, 100, &Voice::filterPos, 63},
        {"filter in revision 0", 0, 0, 40, &Voice::filterPos, 32},
        {"slide up", 1, 1, 5, &Voice::playlistSlideSpeed, 5},
        {"slide down", 1, 2, 5, &Voice::playlistSlideSpeed, -5},
        {"square position", 1, 3, 0x20, &Voice::squarePos, 8},
        {"jump", 1, 5, 3, &Voice::playlistRow, 3},
        {"note volume", 1, 6, 0, &Voice::noteVolume, 0},
        {"note volume 64", 1, 6, 64, &Voice::noteVolume, 64},
        {"65 is ignored", 1, 6, 65, &Voice::noteVolume, 33},
        {"playlist volume", 1, 6, 80, &Voice::playlistVolume, 0},
        {"playlist volume 64", 1, 6, 144, &Voice::playlistVolume, 64},
        {"150 is ignored", 1, 6, 150, &Voice::playlistVolume, 50},
        {"channel volume", 1, 6, 160, &Voice::channelVolume, 0},
        {"channel volume 64", 1, 6, 224, &Voice::channelVolume, 64},
        {"230 is ignored", 1, 6, 230, &Voice::channelVolume, 50},
        {"speed", 1, 7, 4, &Voice::playlistSpeed, 4},
        {"speed restarts the wait", 1, 7, 4, &Voice::playlistWait, 4},
    };
    for (const PlaylistCommandCase& c : cases) {
        SCOPED_TRACE(c.name);
        song.version = c.version;
        start();
        for (Voice& v : player.voices) {
            v.waveLength = 3;
            v.filterPos = 32;
            v.squarePos = 1;
            v.noteVolume = 33;
            v.playlistVolume = 50;
            v.channelVolume = 50;
        }
        const int32_t otherChannel = voice(1).*c.field;
        player.playlistCommand(0, c.command, c.parameter);
        EXPECT_EQ(voice(0).*c.field, c.expected);
        EXPECT_EQ(voice(1).*c.field, otherChannel);
    }
}

TEST_F(FrameTest, SquarePositionSetOnTheTrackSkipsThePlaylistsOnce) {
    start();
    voice(0).waveLength = 3;
    voice(0).keepSquarePos = 1;
    voice(0).squarePos = 16;
    player.playlistCommand(0, 3, 0x20);
    EXPECT_EQ(voice(0).squarePos, 16);
    EXPECT_EQ(voice(0).keepSquarePos, 0);
    player.playlistCommand(0, 3, 0x20);
    EXPECT_EQ(voice(0).squarePos, 8);
}

struct ModulationToggleCase {
    int32_t version;
    int32_t parameter;
    int32_t presetOn;
    int32_t square[3];  // squareOn, squareInit, squareSign
    int32_t filter[3];  // filterOn, filterInit, filterSign
};

TEST_F(FrameTest, ModulationToggles) {
    const ModulationToggleCase cases[] = {
        {0, 0x0F, 0, {1, 1, 1}, {0, 0, 0}},  {0, 0xF0, 0, {1, 1, 1}, {0, 0, 0}},
        {1, 0x00, 0, {1, 1, 1}, {0, 0, 0}},  {1, 0x01, 0, {1, 1, 1}, {0, 0, 0}},
        {1, 0x0F, 0, {1, 1, -1}, {0, 0, 0}}, {1, 0x10, 0, {0, 0, 0}, {1, 1, 1}},
        {1, 0xF0, 0, {0, 0, 0}, {1, 1, -1}}, {1, 0x11, 0, {1, 1, 1}, {1, 1, 1}},
        {1, 0x11, 1, {0, 0, 1}, {0, 0, 1}},
    };
    for (const ModulationToggleCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.version << " " << c.parameter << " " << c.presetOn);
        song.version = c.version;
        start();
        Voice& v = voice(0);
        v.squareOn = v.squareInit = v.filterOn = v.filterInit = c.presetOn;
        player.playlistCommand(0, 4, c.parameter);
        EXPECT_EQ(v.squareOn, c.square[0]);
        EXPECT_EQ(v.squareInit, c.square[1]);
        EXPECT_EQ(v.squareSign, c.square[2]);
        EXPECT_EQ(v.filterOn, c.filter[0]);
        EXPECT_EQ(v.filterInit, c.filter[1]);
        EXPECT_EQ(v.filterSign, c.filter[2]);
    }
}

struct SquareModulationCase {
    const char* name;
    int32_t startPos;
    int32_t speed;
    std::vector<int32_t> positions;
};

TEST_F(FrameTest, SquareModulationBouncesBetweenItsLimits) {
    const SquareModulationCase cases[] = {
        {"inside", 11, 1, {12, 13, 12, 11, 10, 11, 12, 13, 12}},
        {"slides in from below", 2, 1, {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 12}},
        {"slides in from above", 20, 1, {19, 18, 17, 16, 15, 14, 13, 12, 11, 10, 11}},
        {"every third frame", 11, 3, {12, 12, 12, 13, 13, 13, 12}},
    };
    for (const SquareModulationCase& c : cases) {
        SCOPED_TRACE(c.name);
        song = emptySong(8, 2, 3);
        usePosition(song, 0, 0, 1);
        Instrument instrument = plainInstrument();
        instrument.waveLength = 5;
        instrument.squareLowerLimit = 13;  // ordered by the instrument start
        instrument.squareUpperLimit = 10;
        instrument.squareSpeed = c.speed;
        instrument.playlist = {synthetic::row(3, 1, 4, 0, 3, c.startPos)};
        setStep(song, 1, 0, 13, addInstrument(song, instrument));
        start();
        std::vector<int32_t> positions;
        for (size_t i = 0; i < c.positions.size(); ++i) {
            player.tick();
            positions.push_back(voice(0).squarePos);
        }
        EXPECT_EQ(positions, c.positions);
        const size_t row = size_t(c.positions.back() - 1) * kSquareWaveSize;
        expectWave(0, kSet31 + kSquareWavesOffset + row, 128);
    }
}

TEST_F(FrameTest, TrackSquarePositionHoldsAgainstTheFirstPlaylistRow) {
    Instrument instrument = plainInstrument();
    instrument.playlist = {synthetic::row(0, 0, 3, 0x20), synthetic::row(0, 0, 3, 0x28)};
    instrument.playlistLength = 2;
    setStep(song, 1, 0, 13, addInstrument(song, instrument), 0x9, 0x40);
    start();
    player.tick();
    EXPECT_EQ(voice(0).squarePos, 16);
    EXPECT_EQ(voice(0).waveform, 2);
    player.tick();
    EXPECT_EQ(voice(0).squarePos, 10);
}

struct SquareBuildCase {
    int32_t waveLength;
    int32_t squarePos;
    int32_t filterPos;
    int32_t set;
    int32_t row;  // -1 is the 128 bytes before the square table
};

TEST_F(FrameTest, SquareBuildDecimatesTheRowOfItsWidth) {
    const SquareBuildCase cases[] = {
        {5, 0, 32, 31, -1},   {5, 32, 32, 31, 31}, {5, 33, 32, 31, 30}, {5, 63, 32, 31, 0},
        {2, 3, 32, 31, 23},   {2, 5, 32, 31, 23},  {0, 1, 32, 31, 31},  {3, 9, 32, 31, 27},
        {5, 200, 32, 31, -1},  // folds below 0: held at the first row
        {5, 16, 0, 0, 15},     // no instrument yet: the nearest set
        {5, 16, 70, 62, 15},  {5, 16, 40, 39, 15},
    };
    for (const SquareBuildCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.waveLength << " " << c.squarePos << " " << c.filterPos);
        start();
        Voice& v = voice(0);
        v.waveLength = c.waveLength;
        v.squarePos = c.squarePos;
        v.filterPos = c.filterPos;
        v.squareChanged = 1;  // a triangle voice switches to the square
        player.advanceFrame(0);
        player.writeOutput(0);
        EXPECT_EQ(v.waveform, 2);
        EXPECT_EQ(v.squareChanged, 0);
        EXPECT_EQ(player.squarePointer, v.squareBuffer);
        const size_t offset = size_t(c.set) * kWaveSetSize + kSquareWavesOffset;
        expectWave(0, size_t(int64_t(offset) + c.row * kSquareWaveSize), 4 << c.waveLength,
                   32 >> c.waveLength);
    }
}

struct FilterModulationCase {
    int32_t speed;
    std::vector<int32_t> positions;
};

TEST_F(FrameTest, FilterModulationSpeeds) {
    const FilterModulationCase cases[] = {
        {0, {37, 38, 33, 28, 23, 22}}, {1, {36, 40, 36, 32}}, {2, {35, 38, 39, 36}},
        {3, {33, 34, 35, 36}},         {4, {33, 34, 35, 36}}, {5, {33, 33, 34, 34, 35}},
    };
    for (const FilterModulationCase& c : cases) {
        SCOPED_TRACE(c.speed);
        song = emptySong(8, 2, 3);
        usePosition(song, 0, 0, 1);
        Instrument instrument = plainInstrument();
        instrument.filterLowerLimit = 40;
        instrument.filterUpperLimit = 20;
        instrument.filterSpeed = c.speed;
        instrument.playlist = {synthetic::row(1, 1, 4, 0x10)};
        setStep(song, 1, 0, 13, addInstrument(song, instrument));
        start();
        std::vector<int32_t> positions;
        for (size_t i = 0; i < c.positions.size(); ++i) {
            player.tick();
            positions.push_back(voice(0).filterPos);
        }
        EXPECT_EQ(positions, c.positions);
        // The triangle is read from the set the filter has reached.
        const size_t set = size_t(c.positions.back() - 1);
        expectWave(0, set * kWaveSetSize + kTriangleWavesOffset + size_t(waveLengthOffsets[3]), 32);
    }
}

TEST_F(FrameTest, NoiseOffsetsFollowTheSeed) {
    start();
    player.noiseSeed = 0;
    voice(0).waveform = 3;
    voice(0).filterPos = 32;
    const uint32_t seeds[] = {0x980BF806u, 0xFFA4040Eu, 0x000B9C1Au};
    const int32_t offsets[] = {0, 6, 1038, 1050};
    for (int frame = 0; frame < 4; ++frame) {
        SCOPED_TRACE(frame);
        player.advanceFrame(0);
        player.writeOutput(0);
        EXPECT_EQ(voice(0).waveSource - player.noisePointer, offsets[frame]);
        if (frame < 3) {
            EXPECT_EQ(player.noiseSeed, seeds[frame]);
        }
        expectWave(0, kSet31 + kNoiseWaveOffset + size_t(offsets[frame]), kOutWaveLength);
    }
}

TEST_F(FrameTest, NoiseVoicesShareTheSeedInChannelOrder) {
    start();
    player.noiseSeed = 0;
    voice(0).waveform = 3;
    voice(0).filterPos = 40;
    voice(1).waveform = 3;
    voice(1).filterPos = 1;
    player.advanceFrame(0);
    player.advanceFrame(1);
    EXPECT_EQ(voice(0).waveSource - player.noisePointer, 8 * kWaveSetSize);
    EXPECT_EQ(voice(1).waveSource - player.noisePointer, -31 * kWaveSetSize + 6);
    EXPECT_EQ(player.noiseSeed, 0xFFA4040Eu);
}

struct PeriodCase {
    const char* name;
    int32_t trackNote, transpose, instrumentNote, fixedNote, slideOffset, playlistSlideOffset, vibratoOffset;
    int32_t period;
};

TEST_F(FrameTest, PeriodFromNotesAndOffsets) {
    constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
    const PeriodCase cases[] = {
        {"relative note 1 plays the track note", 25, 0, 1, 0, 0, 0, 0, 856},
        {"transpose", 25, 2, 1, 0, 0, 0, 0, 762},
        {"no playlist note yet: one below", 25, 0, 0, 0, 0, 0, 0, 906},
        {"relative note 3", 25, 0, 3, 0, 0, 0, 0, 762},
        {"above the table", 60, 5, 1, 0, 0, 0, 0, 113},
        {"below the table", 1, -10, 1, 0, 0, 0, 0, 113},
        {"longest period", 1, 0, 1, 0, 100, 0, 0, 3424},
        {"all offsets", 25, 0, 1, 0, -10, 4, -3, 847},
        {"fixed note ignores the track", 25, 7, 30, 1, -10, 4, -3, 641},
        {"fixed note above the table", 25, 0, 63, 1, 0, 0, 0, 113},
        {"wrapped slide", 25, 0, 1, 0, kMax, 0, 0, 113},
    };
    for (const PeriodCase& c : cases) {
        SCOPED_TRACE(c.name);
        start();
        Voice& v = voice(0);
        v.trackNote = c.trackNote;
        v.transpose = c.transpose;
        v.instrumentNote = c.instrumentNote;
        v.fixedNote = c.fixedNote;
        v.slideOffset = c.slideOffset;
        v.playlistSlideOffset = c.playlistSlideOffset;
        v.vibratoOffset = c.vibratoOffset;
        player.advanceFrame(0);
        EXPECT_EQ(v.nextPeriod, c.period);
    }
}

TEST_F(FrameTest, VolumeMultipliesTheFactors) {
    struct Case {
        int32_t envelope, note, playlist, channel, volume;
    };
    const Case cases[] = {{64 * 256, 64, 64, 64, 64},
                          {64 * 256, 32, 48, 40, 15},
                          {255, 64, 64, 64, 0},
                          {32 * 256, 64, 64, 32, 16}};
    for (const Case& c : cases) {
        start();
        Voice& v = voice(0);
        v.envelopeVolume = c.envelope;
        v.noteVolume = c.note;
        v.playlistVolume = c.playlist;
        v.channelVolume = c.channel;
        player.advanceFrame(0);
        player.writeOutput(0);
        EXPECT_EQ(v.outVolume, c.volume);
    }
}

struct WaveCase {
    int32_t waveform, waveLength, filterPos;
    size_t offset;
};

TEST_F(FrameTest, WriteOutputRepeatsOnePeriod) {
    const WaveCase cases[] = {
        {0, 2, 32, kSet31 + 12},
        {1, 5, 32, kSet31 + kSawtoothWavesOffset + 124},
        {0, 0, 1, 0},
        {1, 3, 63, 62 * size_t(kWaveSetSize) + kSawtoothWavesOffset + 28},
        {0, 1, 0, 4},  // filterPos 0 reads the first set
    };
    for (const WaveCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.waveform << " " << c.waveLength << " " << c.filterPos);
        start();
        Voice& v = voice(0);
        v.waveform = c.waveform;
        v.waveLength = c.waveLength;
        v.filterPos = c.filterPos;
        v.waveChanged = 1;
        player.advanceFrame(0);
        player.writeOutput(0);
        expectWave(0, c.offset, 4 << c.waveLength);
        EXPECT_EQ(v.waveChanged, 1);  // kept: the source is rewritten every frame
    }
}

TEST_F(FrameTest, WriteOutputCopiesOnlyWhatChanged) {
    start();
    Voice& v = voice(0);
    for (int8_t& sample : v.outWave) sample = 7;
    v.trackNote = 25;
    v.instrumentNote = 1;
    player.advanceFrame(0);
    player.writeOutput(0);
    EXPECT_EQ(v.nextPeriod, 856);
    EXPECT_EQ(v.outPeriod, 0);
    EXPECT_EQ(v.outWave[0], 7);
    EXPECT_EQ(v.outWave[640], 7);
    v.periodChanged = 1;
    player.advanceFrame(0);
    player.writeOutput(0);
    EXPECT_EQ(v.outPeriod, 856);
    EXPECT_EQ(v.periodChanged, 0);
}

TEST_F(FrameTest, AnInstrumentWithoutANoteSoundsBeforeItHasAPeriod) {
    Instrument instrument = plainInstrument();
    instrument.playlist = {synthetic::row(1, 0)};
    setStep(song, 1, 0, 0, addInstrument(song, instrument));
    start();
    run(3);
    EXPECT_EQ(voice(0).outPeriod, 0);
    EXPECT_EQ(voice(0).outVolume, 64);
}

}  // namespace
}  // namespace ahx
