#include "shells/ahx/song_end.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/synthetic_songs.h"
#include "support/wave_bank.h"

namespace {

using tools::EndReason;
using tools::measureSong;

// Three positions of four steps; position 2 plays track 1, whose first step
// holds `command` with `parameter` on channel 0.
ahx::Song threePositions(int32_t command, int32_t parameter, int32_t restart = 0) {
    ahx::Song song = synthetic::emptySong(4, 3, 2);
    song.restartPosition = restart;
    synthetic::setStep(song, 1, 0, 0, 0, command, parameter);
    synthetic::usePosition(song, 2, 0, 1);
    return song;
}

TEST(SongEnd, EndsWhenTheListComesBackToAPlayedPosition) {
    // 3 positions x 4 steps x tempo 6.
    tools::SongSpan span = measureSong(threePositions(0, 0), test_support::sharedBank(), 0, 1, 100000);
    EXPECT_EQ(span.ticks, 72);
    EXPECT_EQ(span.reason, EndReason::loopedBack);
    EXPECT_EQ(span.returnPosition, 0);

    // Coming back to the restart position; a second pass replays positions 1 and 2.
    span = measureSong(threePositions(0, 0, 1), test_support::sharedBank(), 0, 1, 100000);
    EXPECT_EQ(span.ticks, 72);
    EXPECT_EQ(span.returnPosition, 1);
    span = measureSong(threePositions(0, 0, 1), test_support::sharedBank(), 0, 2, 100000);
    EXPECT_EQ(span.ticks, 72 + 48);
    EXPECT_EQ(span.returnPosition, 1);
}

TEST(SongEnd, AJumpBackEndsTheSongAtTheEndOfItsStep) {
    // B00 on the first step of position 2: back to 0 after that step.
    tools::SongSpan span = measureSong(threePositions(0xB, 0x00), test_support::sharedBank(), 0, 1, 100000);
    EXPECT_EQ(span.ticks, 48 + 6);
    EXPECT_EQ(span.reason, EndReason::loopedBack);
    EXPECT_EQ(span.returnPosition, 0);
    // A break to the next position is no return: D on position 2 wraps to 0 as usual.
    span = measureSong(threePositions(0xD, 0x00), test_support::sharedBank(), 0, 1, 100000);
    EXPECT_EQ(span.ticks, 48 + 6);
    EXPECT_EQ(span.returnPosition, 0);
}

TEST(SongEnd, TempoZeroStopsTheSongAtItsStep) {
    // F00 read on tick 49, the first of position 2.
    tools::SongSpan span = measureSong(threePositions(0xF, 0), test_support::sharedBank(), 0, 1, 100000);
    EXPECT_EQ(span.ticks, 49);
    EXPECT_EQ(span.reason, EndReason::stopped);
}

TEST(SongEnd, GivesUpAtTheLimit) {
    tools::SongSpan span = measureSong(threePositions(0, 0), test_support::sharedBank(), 0, 1, 50);
    EXPECT_EQ(span.ticks, 50);
    EXPECT_EQ(span.reason, EndReason::limit);
}

TEST(SongEnd, SubsongsStartAtTheirPosition) {
    ahx::Song song = threePositions(0, 0);
    song.subsongs = {2};
    song.subsongCount = 1;
    // Position 2, then 0 and 1 are new, then 2 again.
    tools::SongSpan span = measureSong(song, test_support::sharedBank(), 1, 1, 100000);
    EXPECT_EQ(span.ticks, 72);
    EXPECT_EQ(span.returnPosition, 2);
}

TEST(SongEnd, SamplesFollowTheMixersShareOfEachBlock) {
    EXPECT_EQ(tools::samplesForTicks(0, 1), 0);
    EXPECT_EQ(tools::samplesForTicks(1, 1), 882);
    EXPECT_EQ(tools::samplesForTicks(13, 1), 6 * 1764 + 882);
    EXPECT_EQ(tools::samplesForTicks(48, 1), 24 * 1764);
    EXPECT_EQ(tools::samplesForTicks(5, 4), 1764 * 5 / 8);
    EXPECT_EQ(tools::samplesForTicks(9, 4), 1764 + 220);
    EXPECT_EQ(tools::samplesForTicks(3, 3), 882);
}

TEST(SongFate, APlainSongLoopsForeverFromWhereItComesBackAndF00StopsIt) {
    tools::SongFate fate = tools::decideFate(threePositions(0, 0, 1), test_support::sharedBank(), 0, 100000);
    EXPECT_EQ(fate.fate, tools::Fate::loopsForever);
    EXPECT_EQ(fate.ticks, 72);
    EXPECT_EQ(fate.loopPosition, 1);
    EXPECT_EQ(fate.loopStep, 0);
    EXPECT_EQ(fate.loopTick, 24);

    fate = tools::decideFate(threePositions(0xF, 0), test_support::sharedBank(), 0, 100000);
    EXPECT_EQ(fate.fate, tools::Fate::stops);
    EXPECT_EQ(fate.ticks, 49);

    fate = tools::decideFate(threePositions(0, 0), test_support::sharedBank(), 0, 50);
    EXPECT_EQ(fate.fate, tools::Fate::undecided);
}

TEST(SongFate, ComingBackToAPositionAtAnotherStepIsNoRepeatYet) {
    // Position 0 breaks into step 2 of position 1 (D02), skipping the F00 on
    // its step 0. The list's end then comes back to position 1 (the restart)
    // at step 0, which was never played: there the song stops.
    ahx::Song song = synthetic::emptySong(4, 3, 3);
    song.restartPosition = 1;
    synthetic::setStep(song, 1, 0, 0, 0, 0xD, 0x02);
    synthetic::setStep(song, 2, 0, 0, 0, 0xF, 0);
    synthetic::usePosition(song, 0, 0, 1);
    synthetic::usePosition(song, 1, 0, 2);

    const tools::SongSpan span = measureSong(song, test_support::sharedBank(), 0, 1, 100000);
    EXPECT_EQ(span.reason, EndReason::loopedBack);
    EXPECT_EQ(span.returnPosition, 1);
    // Steps 0 of 0, 2 and 3 of 1, 0..3 of 2: 7 steps, then F00 on the next tick.
    const tools::SongFate fate = tools::decideFate(song, test_support::sharedBank(), 0, 100000);
    EXPECT_EQ(fate.fate, tools::Fate::stops);
    EXPECT_EQ(fate.ticks, 7 * 6 + 1);
}

}  // namespace
