// Track control: the order in which a start and a change drive the player and
// the output, wrap-around in both directions, unplayable entries, and songs
// that are missing or rejected.
#include "core/track_control.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/shared_state.h"
#include "core/track_list.h"
#include "support/recording_output.h"
#include "support/wave_bank.h"

namespace core::test {
namespace {

using Calls = std::vector<std::string>;

const std::string kOpen = "open 44100 16 2 16 1.000000";
const Calls kStart = {kOpen, "startThread", "play"};
const Calls kChange = {"stop", "stopThread", "release", kOpen, "startThread", "play"};

std::vector<int32_t> looked;

// The program's own songs, with every lookup noted.
resources::ResourceData noteLookup(int32_t resourceId) {
    looked.push_back(resourceId);
    return findSongResource(resourceId);
}

class TrackControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        looked.clear();
        currentTrack = 0;
    }

    std::unique_ptr<ahx::Player> player = std::make_unique<ahx::Player>();
    RecordingOutput output;
    int32_t ids[trackCount] = {126, 127, 128, 129, 130, 131, 132, 136, 137, 139};
    TrackControl tracks{*player, test_support::sharedBank(), output, noteLookup, ids};
};

TEST_F(TrackControlTest, StartLoadsAndStartsTheSongBeforeTheOutputStreamsIt) {
    EXPECT_EQ(tracks.startTrack(126), 0);
    EXPECT_EQ(output.takeCalls(), kStart);
    EXPECT_EQ(looked, std::vector<int32_t>{126});
    EXPECT_EQ(player->waveTables, &test_support::sharedBank());
    EXPECT_EQ(output.played, player.get());
    // Loaded and at the start of subsong 0 by the time the output has it.
    EXPECT_GT(output.playedPositionCount, 0);
    EXPECT_EQ(player->position, 0);
    EXPECT_EQ(player->newPosition, 1);
    EXPECT_EQ(player->tempo, 6);
}

TEST_F(TrackControlTest, StepsWrapAroundTheListAndRestartTheOutputEachTime) {
    tracks.startTrack(ids[0]);
    output.takeCalls();
    looked.clear();

    tracks.previousTrack();
    EXPECT_EQ(currentTrack, 9);
    EXPECT_EQ(output.takeCalls(), kChange);
    tracks.nextTrack();
    EXPECT_EQ(currentTrack, 0);
    EXPECT_EQ(output.takeCalls(), kChange);
    for (int32_t i = 1; i < trackCount; ++i) tracks.nextTrack();
    EXPECT_EQ(currentTrack, 9);
    tracks.nextTrack();
    EXPECT_EQ(currentTrack, 0);
    std::vector<int32_t> expected = {139, 126, 127, 128, 129, 130, 131, 132, 136, 137, 139, 126};
    EXPECT_EQ(looked, expected);
}

TEST_F(TrackControlTest, AnUnplayableEntryIsSelectedWhileTheSongBeforeItPlaysOn) {
    ids[3] = -1;
    currentTrack = 2;
    tracks.nextTrack();
    EXPECT_EQ(currentTrack, 3);
    EXPECT_TRUE(output.takeCalls().empty());
    EXPECT_TRUE(looked.empty());

    tracks.nextTrack();
    EXPECT_EQ(currentTrack, 4);
    EXPECT_EQ(output.takeCalls(), kChange);
    EXPECT_EQ(looked, std::vector<int32_t>{130});

    // The same from the other side.
    tracks.previousTrack();
    EXPECT_EQ(currentTrack, 3);
    EXPECT_TRUE(output.takeCalls().empty());
    tracks.previousTrack();
    EXPECT_EQ(currentTrack, 2);
    EXPECT_EQ(output.takeCalls(), kChange);
}

resources::ResourceData damagedSong(int32_t) {
    static const uint8_t bytes[] = {'T', 'H', 'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    return {bytes, sizeof bytes};
}

resources::ResourceData noSong(int32_t) {
    return {};
}

TEST_F(TrackControlTest, AMissingOrRejectedSongStartsNothingAndTheNextChangeWorks) {
    for (SongLookup lookup : {noSong, damagedSong}) {
        TrackControl silent{*player, test_support::sharedBank(), output, lookup, ids};
        EXPECT_EQ(silent.startTrack(126), 0);
        EXPECT_TRUE(output.takeCalls().empty());
        // The player holds no song to be ticked on.
        EXPECT_EQ(player->song.positionCount, 0);
        for (const ahx::Voice& voice : player->voices) {
            EXPECT_EQ(voice.currentInstrument, nullptr);
            EXPECT_EQ(voice.outVolume, 0);
        }

        // A change from a silent track takes the usual road, and plays.
        tracks.nextTrack();
        EXPECT_EQ(output.takeCalls(), kChange);
        EXPECT_EQ(output.played, player.get());
        EXPECT_GT(output.playedPositionCount, 0);
    }
}

TEST_F(TrackControlTest, EveryTrackOfTheDiskLoads) {
    for (int32_t i = 0; i < trackCount; ++i) {
        output.takeCalls();
        tracks.startTrack(trackResourceIds[i]);
        EXPECT_EQ(output.takeCalls(), kStart) << "track " << i + 1;
    }
}

}  // namespace
}  // namespace core::test
