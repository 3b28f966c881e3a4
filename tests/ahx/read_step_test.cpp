// Step processing: the track commands, alone and in their combinations
// across the four channels, and the start of an instrument.
#include <gtest/gtest.h>

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
using test::PlayerFixture;

// Channel k plays track k + 1 at position 0; 130 positions, restart at 7.
class StepTest : public PlayerFixture {
protected:
    void SetUp() override {
        song = emptySong(8, 130, 5);
        for (int k = 0; k < kChannels; ++k) usePosition(song, 0, k, k + 1);
        song.restartPosition = 7;
        addInstrument(song);
    }
};

struct Command {
    int32_t command = 0;
    int32_t parameter = 0;
};

struct JumpCase {
    const char* name;
    Command channels[kChannels];
    int32_t presetJump;
    int32_t position;
    int32_t stepIndex;
};

TEST_F(StepTest, PositionCommandsCombineInChannelOrder) {
    const JumpCase cases[] = {
        {"B", {{0xB, 0x05}}, 0, 5, 0},
        {"hundreds from an earlier channel", {{0x0, 0x01}, {}, {0xB, 0x23}}, 0, 123, 0},
        {"0 with lo above 9 is ignored", {{0x0, 0x0A}, {0xB, 0x12}}, 0, 12, 0},
        {"B reads decimal digits", {{0xB, 0x99}}, 0, 99, 0},
        {"D", {{0xD, 0x03}}, 0, 1, 3},
        {"D at the track length", {{0xD, 0x08}}, 0, 1, 0},
        {"D beyond the track length", {{0xD, 0x1F}}, 0, 1, 0},
        {"B after D multiplies", {{0xD, 0x02}, {0xB, 0x01}}, 0, 101, 2},
        {"D after B", {{0xB, 0x02}, {0xD, 0x05}}, 0, 1, 5},
        {"0 alone only arms the hundreds", {{0x0, 0x03}}, 0, 0, 1},
        {"jump beyond the list", {{0x0, 0x02}, {0xB, 0x00}}, 0, 0, 0},
        {"jump to the end of the list", {{0x0, 0x01}, {0xB, 0x30}}, 0, 7, 0},
        {"B wrapping negative", {{0xB, 0x00}}, 21474837, 0, 0},
    };
    for (const JumpCase& c : cases) {
        SCOPED_TRACE(c.name);
        for (int k = 0; k < kChannels; ++k) {
            setStep(song, k + 1, 0, 0, 0, c.channels[k].command, c.channels[k].parameter);
        }
        start();
        player.jumpPosition = c.presetJump;
        run(6);
        EXPECT_EQ(player.position, c.position);
        EXPECT_EQ(player.stepIndex, c.stepIndex);
        EXPECT_EQ(player.breakPending, 0);
    }
}

TEST_F(StepTest, TempoCommandSetsTheFramesPerStep) {
    for (int32_t i = 0; i < 8; ++i) setStep(song, 1, i, i + 1, 0);
    setStep(song, 1, 0, 1, 0, 0xF, 0x03);
    start();
    std::vector<int32_t> notes;
    for (int i = 0; i < 7; ++i) {
        player.tick();
        notes.push_back(voice(0).trackNote);
    }
    EXPECT_EQ(notes, (std::vector<int32_t>{1, 1, 1, 2, 2, 2, 3}));
}

struct VolumeCase {
    int32_t parameter;
    int32_t noteVolume;
    int32_t channelVolumes[kChannels];
};

TEST_F(StepTest, VolumeCommandRanges) {
    const VolumeCase cases[] = {
        {0x00, 0, {50, 50, 50, 50}},  {0x40, 64, {50, 50, 50, 50}}, {0x41, 33, {50, 50, 50, 50}},
        {0x4F, 33, {50, 50, 50, 50}}, {0x50, 33, {0, 0, 0, 0}},     {0x60, 33, {16, 16, 16, 16}},
        {0x90, 33, {64, 64, 64, 64}}, {0x91, 33, {50, 50, 50, 50}}, {0x9F, 33, {50, 50, 50, 50}},
        {0xA0, 33, {50, 0, 50, 50}},  {0xE0, 33, {50, 64, 50, 50}}, {0xE1, 33, {50, 50, 50, 50}},
        {0xFF, 33, {50, 50, 50, 50}},
    };
    for (const VolumeCase& c : cases) {
        SCOPED_TRACE(c.parameter);
        setStep(song, 2, 0, 0, 0, 0xC, c.parameter);
        start();
        for (Voice& v : player.voices) {
            v.noteVolume = 33;
            v.channelVolume = 50;
        }
        player.readStep(1);
        EXPECT_EQ(voice(1).noteVolume, c.noteVolume);
        for (int k = 0; k < kChannels; ++k) EXPECT_EQ(voice(k).channelVolume, c.channelVolumes[k]) << k;
    }
}

struct ExtendedCase {
    int32_t parameter;
    int32_t presetVolume;
    int32_t noteVolume;
    int32_t slideOffset;
    int32_t vibratoDepth;
    int32_t periodChanged;
};

TEST_F(StepTest, ExtendedCommands) {
    const ExtendedCase cases[] = {
        {0x15, 60, 60, -5, 3, 1},                              // fine slide up sets the offset
        {0x27, 60, 60, 7, 3, 1},                               // fine slide down
        {0x49, 60, 60, 100, 9, 0}, {0x40, 60, 60, 100, 0, 0},  // vibrato depth
        {0xA3, 60, 63, 100, 3, 0}, {0xAF, 60, 64, 100, 3, 0},  // fine volume up
        {0xB2, 60, 58, 100, 3, 0}, {0xB5, 3, 0, 100, 3, 0},    // fine volume down
        {0x35, 60, 60, 100, 3, 0}, {0xF5, 60, 60, 100, 3, 0},  // no effect
    };
    for (const ExtendedCase& c : cases) {
        SCOPED_TRACE(c.parameter);
        setStep(song, 1, 0, 0, 0, 0xE, c.parameter);
        start();
        Voice& v = voice(0);
        v.noteVolume = c.presetVolume;
        v.slideOffset = 100;
        v.vibratoDepth = 3;
        player.readStep(0);
        EXPECT_EQ(v.noteVolume, c.noteVolume);
        EXPECT_EQ(v.slideOffset, c.slideOffset);
        EXPECT_EQ(v.vibratoDepth, c.vibratoDepth);
        EXPECT_EQ(v.periodChanged, c.periodChanged);
    }
}

struct NoteCutCase {
    int32_t parameter;
    int32_t noteCutWait;
    int32_t noteCutOn;
    int32_t hardCutReleaseOn;
};

TEST_F(StepTest, NoteCutArmsOnlyWithinTheStep) {
    const NoteCutCase cases[] = {
        {0xC3, 3, 1, 0},
        {0xC5, 5, 1, 0},
        {0xC0, 0, 0, 1},  // sets the wait, arms nothing
        {0xC6, 9, 0, 1},  // not below the tempo: ignored
    };
    for (const NoteCutCase& c : cases) {
        SCOPED_TRACE(c.parameter);
        setStep(song, 1, 0, 0, 0, 0xE, c.parameter);
        start();
        Voice& v = voice(0);
        v.noteCutWait = 9;
        v.hardCutReleaseOn = 1;
        player.readStep(0);
        EXPECT_EQ(v.noteCutWait, c.noteCutWait);
        EXPECT_EQ(v.noteCutOn, c.noteCutOn);
        EXPECT_EQ(v.hardCutReleaseOn, c.hardCutReleaseOn);
    }

    // The instrument started by the same step sets the release flag again.
    Instrument releasing = plainInstrument();
    releasing.hardCutRelease = 1;
    const int32_t number = addInstrument(song, releasing);
    setStep(song, 1, 0, 0, number, 0xE, 0xC3);
    start();
    player.readStep(0);
    EXPECT_EQ(voice(0).noteCutOn, 1);
    EXPECT_EQ(voice(0).hardCutReleaseOn, 1);
}

TEST_F(StepTest, NoteCutSilencesAfterItsFrames) {
    setStep(song, 1, 0, 13, 1, 0xE, 0xC3);
    start();
    std::vector<int32_t> volumes;
    for (int i = 0; i < 6; ++i) {
        player.tick();
        volumes.push_back(voice(0).outVolume);
    }
    EXPECT_EQ(volumes, (std::vector<int32_t>{64, 64, 64, 0, 0, 0}));
}

TEST_F(StepTest, NoteDelayPlaysTheWholeStepLate) {
    struct Case {
        int32_t delay;
        int firstTick;
    };
    const Case cases[] = {{0, 1}, {1, 2}, {2, 3}, {5, 6}, {6, 1}, {9, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.delay);
        setStep(song, 1, 0, 13, 1, 0xE, 0xD0 | c.delay);
        start();
        for (int tick = 1; tick <= 6; ++tick) {
            player.tick();
            const bool played = tick >= c.firstTick;
            EXPECT_EQ(voice(0).trackNote, played ? 13 : 0) << tick;
            EXPECT_EQ(voice(0).currentInstrument != nullptr, played) << tick;
        }
        EXPECT_EQ(voice(0).noteDelayOn, 0);
    }
}

TEST_F(StepTest, APeriodSlideRunsOnWhileTheNextStepIsDelayed) {
    setStep(song, 1, 0, 13, 1, 0x1, 4);
    setStep(song, 1, 1, 20, 0, 0xE, 0xD3);
    start();
    std::vector<int32_t> offsets;
    for (int i = 0; i < 11; ++i) {
        player.tick();
        if (i >= 5) offsets.push_back(voice(0).slideOffset);
    }
    EXPECT_EQ(offsets, (std::vector<int32_t>{-24, -28, -32, -36, -36, -36}));
    EXPECT_EQ(voice(0).trackNote, 20);
}

TEST_F(StepTest, ADelayThatOutlivesItsStepIsDropped) {
    // Channel 1 lowers the tempo after channel 0 armed a delay of 5 frames;
    // the next step comes first and must be read once, not on every frame.
    setStep(song, 1, 0, 13, 0, 0xE, 0xD5);
    for (int32_t i = 1; i < 8; ++i) setStep(song, 1, i, 0, 0, 0xE, 0xA1);
    setStep(song, 2, 0, 0, 0, 0xF, 0x02);
    start();
    voice(0).noteVolume = 10;
    for (int tick = 1; tick <= 16; ++tick) {
        player.tick();
        EXPECT_EQ(voice(0).trackNote, 0) << tick;
        if (tick >= 3) {
            EXPECT_EQ(voice(0).noteDelayOn, 0) << tick;
        }
    }
    EXPECT_EQ(voice(0).noteVolume, 17);
}

TEST_F(StepTest, PeriodSlidesLastForTheirStep) {
    setStep(song, 1, 0, 25, 1, 0x1, 3);
    setStep(song, 1, 1, 0, 0, 0x2, 5);
    start();
    struct Row {
        int tick;
        int32_t slideOffset;
        int32_t outPeriod;
    };
    const Row rows[] = {{1, -3, 853},  {6, -18, 838}, {7, -13, 843},
                        {12, 12, 868}, {13, 12, 868}, {20, 12, 868}};
    int ticked = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.tick);
        run(row.tick - ticked);
        ticked = row.tick;
        EXPECT_EQ(voice(0).slideOffset, row.slideOffset);
        EXPECT_EQ(voice(0).outPeriod, row.outPeriod);
    }
}

TEST_F(StepTest, TonePortamentoLandsExactlyOnItsTarget) {
    // From note 13 (period 1712) to note 25 (856): 856 / 8 takes 107 frames;
    // the other speeds would pass the target on their last frame.
    struct Case {
        int32_t speed;
        int frames;
    };
    const Case cases[] = {{8, 107}, {7, 123}, {255, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        song.trackLength = 32;
        for (std::vector<Step>& track : song.tracks) track.assign(32, Step{});
        setStep(song, 1, 0, 13, 1);
        setStep(song, 1, 1, 25, 0, 0x3, c.speed);
        for (int32_t i = 2; i < 32; ++i) setStep(song, 1, i, 0, 0, 0x3, 0);
        start();
        run(6);
        EXPECT_EQ(voice(0).outPeriod, 1712);
        run(1);
        EXPECT_EQ(voice(0).slideTarget, -856);
        EXPECT_EQ(voice(0).outPeriod, 1712 - c.speed);
        run(c.frames - 2);
        EXPECT_EQ(voice(0).slideOffset, -(c.frames - 1) * c.speed);
        run(1);
        EXPECT_EQ(voice(0).slideOffset, -856);
        EXPECT_EQ(voice(0).outPeriod, 856);
        run(20);
        EXPECT_EQ(voice(0).slideOffset, -856);
        EXPECT_EQ(voice(0).outPeriod, 856);
        EXPECT_EQ(voice(0).trackNote, 13);
    }
}

TEST_F(StepTest, PortamentoWithVolumeSlideSharesItsParameter) {
    Instrument quieter = plainInstrument();
    quieter.volume = 40;
    const int32_t number = addInstrument(song, quieter);
    setStep(song, 1, 0, 13, number);
    setStep(song, 1, 1, 25, 0, 0x5, 0x21);
    start();
    run(12);
    EXPECT_EQ(voice(0).noteVolume, 46);
    EXPECT_EQ(voice(0).slideSpeed, 0x21);
    EXPECT_EQ(voice(0).slideOffset, -6 * 0x21);
    run(6);
    EXPECT_EQ(voice(0).noteVolume, 46);
}

struct PortamentoCase {
    const char* name;
    int32_t trackNote;
    int32_t note;
    int32_t parameter;
    int32_t presetOffset;
    int32_t slideTarget;
    int32_t slideSpeed;
};

TEST_F(StepTest, PortamentoTargets) {
    const PortamentoCase cases[] = {
        {"one octave", 13, 25, 8, 0, -856, 8},
        {"note above the table", 13, 63, 1, 0, -1599, 1},
        {"track note above the table", 62, 13, 1, 0, 1599, 1},
        {"already there", 13, 25, 1, -856, 77, 1},
        {"no note keeps the target, no speed keeps the speed", 13, 0, 0, 0, 77, 9},
    };
    for (const PortamentoCase& c : cases) {
        SCOPED_TRACE(c.name);
        setStep(song, 1, 0, c.note, 0, 0x3, c.parameter);
        start();
        Voice& v = voice(0);
        v.trackNote = c.trackNote;
        v.slideOffset = c.presetOffset;
        v.slideTarget = 77;
        v.slideSpeed = 9;
        player.readStep(0);
        EXPECT_EQ(v.slideTarget, c.slideTarget);
        EXPECT_EQ(v.slideSpeed, c.slideSpeed);
        EXPECT_EQ(v.slideOn, 1);
        EXPECT_EQ(v.slideToTarget, 1);
        EXPECT_EQ(v.trackNote, c.trackNote);
        EXPECT_EQ(v.periodChanged, 0);
    }
}

TEST_F(StepTest, SquarePositionCommandAlsoPlaysTheNote) {
    setStep(song, 1, 0, 30, 0, 0x9, 0x20);
    start();
    voice(0).waveLength = 3;
    player.readStep(0);
    EXPECT_EQ(voice(0).squarePos, 8);
    EXPECT_EQ(voice(0).squareChanged, 1);
    EXPECT_EQ(voice(0).keepSquarePos, 1);
    EXPECT_EQ(voice(0).trackNote, 30);
    EXPECT_EQ(voice(0).periodChanged, 1);
}

TEST_F(StepTest, InstrumentStartScalesItsLimitsAndKeepsTheNote) {
    Instrument instrument = plainInstrument();
    instrument.volume = 200;
    instrument.waveLength = 2;
    instrument.squareLowerLimit = 0x80;  // scaled to the wave length, then ordered
    instrument.squareUpperLimit = 0x20;
    const int32_t number = addInstrument(song, instrument);
    setStep(song, 1, 0, 0, number);
    start();
    Voice& v = voice(0);
    v.trackNote = 20;
    v.waveform = 1;
    v.squarePos = 7;
    v.instrumentNote = 5;
    v.slideOffset = 40;
    v.envelopeVolume = 999;
    v.playlistRow = 4;
    v.playlistWait = 4;
    player.readStep(0);
    EXPECT_EQ(v.currentInstrument, &song.instruments[size_t(number)]);
    EXPECT_EQ(v.noteVolume, 64);
    EXPECT_EQ(v.squareLower, 4);
    EXPECT_EQ(v.squareUpper, 16);
    EXPECT_EQ(v.filterPos, 32);
    EXPECT_EQ(v.envelopeVolume, 0);
    EXPECT_EQ(v.slideOffset, 0);
    EXPECT_EQ(v.playlistRow, 0);
    EXPECT_EQ(v.playlistWait, 0);
    // Kept: the note restarts at the old track note with the old waveform.
    EXPECT_EQ(v.trackNote, 20);
    EXPECT_EQ(v.waveform, 1);
    EXPECT_EQ(v.squarePos, 7);
    EXPECT_EQ(v.instrumentNote, 5);
}

TEST_F(StepTest, FilterLimitsAreHeldInsideTheBank) {
    struct Case {
        int32_t lower, upper, filterLower, filterUpper;
    };
    const Case cases[] = {{0, 0, 1, 1}, {0, 100, 1, 63}, {127, 5, 5, 63}, {40, 20, 20, 40}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.lower);
        song.instruments[1].filterLowerLimit = c.lower;
        song.instruments[1].filterUpperLimit = c.upper;
        setStep(song, 1, 0, 0, 1);
        start();
        player.readStep(0);
        EXPECT_EQ(voice(0).filterLower, c.filterLower);
        EXPECT_EQ(voice(0).filterUpper, c.filterUpper);
    }
}

}  // namespace
}  // namespace ahx
