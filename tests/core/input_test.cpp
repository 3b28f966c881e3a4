// The click zones' exclusive bounds, what each zone, key and media command
// does (through the recording output), and the mouse and frame-time
// bookkeeping.
#include "core/input.h"

#include <gtest/gtest.h>

#include <memory>

#include "core/shared_state.h"
#include "core/track_control.h"
#include "support/recording_output.h"
#include "support/wave_bank.h"

namespace core::test {
namespace {

using Calls = std::vector<std::string>;

struct Point {
    int32_t x;
    int32_t y;
    Zone zone;
};

TEST(ZoneHitTest, BoundsAreExclusiveAndTheGapsBelongToNoZone) {
    const Point points[] = {
        {81, 41, Zone::previous}, {80, 41, Zone::none},   {81, 40, Zone::none},  {105, 71, Zone::previous},
        {106, 71, Zone::none},    {81, 72, Zone::none},   {107, 50, Zone::none}, {108, 50, Zone::pause},
        {137, 71, Zone::pause},   {138, 50, Zone::none},  {139, 50, Zone::none}, {140, 50, Zone::resume},
        {170, 41, Zone::resume},  {171, 50, Zone::none},  {172, 50, Zone::none}, {173, 50, Zone::next},
        {205, 71, Zone::next},    {206, 50, Zone::none},  {33, 59, Zone::close}, {40, 66, Zone::close},
        {41, 59, Zone::none},     {33, 67, Zone::none},   {32, 60, Zone::none},  {35, 58, Zone::none},
        {0, 0, Zone::none},       {128, 128, Zone::none},
    };
    for (const Point& p : points) {
        EXPECT_EQ(zoneAt(p.x, p.y), p.zone) << "(" << p.x << ", " << p.y << ")";
    }
}

class InputTest : public ::testing::Test {
protected:
    void SetUp() override {
        currentTrack = 0;
        titleZoom = 7.0f;
        quitRequested = false;
        mouseX = mouseY = prevMouseX = prevMouseY = 0;
    }
    std::unique_ptr<ahx::Player> player = std::make_unique<ahx::Player>();
    RecordingOutput output;
    TrackControl tracks{*player, test_support::sharedBank(), output};
};

TEST_F(InputTest, TrackZonesSelectTheTrackAndRestartTheTitleAndTheShellPlaysIt) {
    EXPECT_FALSE(leftButtonDown(tracks, 190, 60));
    EXPECT_EQ(currentTrack, 1);
    EXPECT_EQ(titleZoom, 0.0f);
    EXPECT_TRUE(output.takeCalls().empty()) << "the change waits for the end of the drain";
    EXPECT_TRUE(tracks.playSelectedTrack());
    EXPECT_EQ(output.takeCalls().front(), "stop");
    EXPECT_FALSE(tracks.playSelectedTrack());
    EXPECT_TRUE(output.takeCalls().empty());

    titleZoom = 3.0f;
    EXPECT_FALSE(leftButtonDown(tracks, 90, 60));
    EXPECT_EQ(currentTrack, 0);
    EXPECT_EQ(titleZoom, 0.0f);
    EXPECT_TRUE(tracks.playSelectedTrack());
    EXPECT_FALSE(output.takeCalls().empty());
}

TEST_F(InputTest, PauseAndResumeActOnTheOutputOnlyAndRepeat) {
    EXPECT_FALSE(leftButtonDown(tracks, 120, 50));
    EXPECT_FALSE(leftButtonDown(tracks, 120, 50));
    EXPECT_FALSE(leftButtonDown(tracks, 150, 50));
    EXPECT_EQ(output.takeCalls(), (Calls{"pause", "pause", "resume"}));
    EXPECT_EQ(currentTrack, 0);
    EXPECT_EQ(titleZoom, 7.0f);
}

TEST_F(InputTest, CloseZoneAndEscapeAskToQuitAndChangeNothingElse) {
    EXPECT_TRUE(leftButtonDown(tracks, 36, 62));
    EXPECT_TRUE(quitRequested);
    quitRequested = false;
    EXPECT_TRUE(keyDown(tracks, kKeyEscape));
    EXPECT_TRUE(quitRequested);
    EXPECT_TRUE(output.takeCalls().empty());
    EXPECT_EQ(titleZoom, 7.0f);
}

TEST_F(InputTest, ArrowKeysStepTheListEveryRepeatAndOtherKeysDoNothing) {
    for (int i = 0; i < 12; ++i) {
        titleZoom = 4.0f;
        EXPECT_FALSE(keyDown(tracks, kKeyDown));
        EXPECT_EQ(titleZoom, 0.0f);
    }
    EXPECT_EQ(currentTrack, 2);
    EXPECT_FALSE(keyDown(tracks, kKeyUp));
    EXPECT_FALSE(keyDown(tracks, kKeyUp));
    EXPECT_FALSE(keyDown(tracks, kKeyUp));
    EXPECT_EQ(currentTrack, 9);
    // Fifteen presses in one drain restart the output once, on the last.
    EXPECT_TRUE(output.takeCalls().empty());
    EXPECT_TRUE(tracks.playSelectedTrack());
    EXPECT_EQ(output.takeCalls(),
              (Calls{"stop", "stopThread", "release", "open 44100 16 2 16 1.000000", "startThread", "play"}));
    titleZoom = 4.0f;
    // Volume keys, next to the media keys, are the system's.
    for (uint32_t key : {13u, 37u, 39u, 0x51u, 0xAEu, 0xAFu, 0xB4u}) EXPECT_FALSE(keyDown(tracks, key));
    EXPECT_TRUE(output.takeCalls().empty());
    EXPECT_EQ(currentTrack, 9);
    EXPECT_EQ(titleZoom, 4.0f);
    EXPECT_FALSE(quitRequested);
}

TEST_F(InputTest, MediaTrackKeysAndCommandsStepLikeTheArrowKeysRepeatsIncluded) {
    const auto step = [&](auto press, int32_t wanted) {
        titleZoom = 4.0f;
        press();
        EXPECT_EQ(currentTrack, wanted);
        EXPECT_EQ(titleZoom, 0.0f);
    };
    step([&] { EXPECT_FALSE(keyDown(tracks, kKeyMediaNext)); }, 1);
    step([&] { EXPECT_FALSE(keyDown(tracks, kKeyMediaNext, true)); }, 2);
    step([&] { EXPECT_FALSE(keyDown(tracks, kKeyMediaPrevious, true)); }, 1);
    step([&] { mediaCommand(tracks, MediaCommand::previous); }, 0);
    step([&] { mediaCommand(tracks, MediaCommand::previous); }, 9);
    step([&] { mediaCommand(tracks, MediaCommand::next); }, 0);
    EXPECT_TRUE(output.takeCalls().empty()) << "the change waits for the end of the drain";
    EXPECT_TRUE(tracks.playSelectedTrack());
    EXPECT_EQ(output.takeCalls().front(), "stop");
    EXPECT_FALSE(quitRequested);
}

TEST_F(InputTest, PlayPauseAndSpaceToggleOnPressesOnlyAndStopPausesUntilPlay) {
    const auto pressed = [&](uint32_t key, bool repeat = false) {
        EXPECT_FALSE(keyDown(tracks, key, repeat));
        return output.takeCalls();
    };
    EXPECT_EQ(pressed(kKeySpace), Calls{"pause"});
    EXPECT_EQ(pressed(kKeySpace, true), Calls{}) << "a held Space must not flutter";
    EXPECT_EQ(pressed(kKeySpace), Calls{"resume"});
    EXPECT_EQ(pressed(kKeyMediaPlayPause), Calls{"pause"});
    EXPECT_EQ(pressed(kKeyMediaPlayPause, true), Calls{});
    EXPECT_EQ(pressed(kKeyMediaPlayPause), Calls{"resume"});
    EXPECT_EQ(pressed(kKeyMediaStop), Calls{"pause"});
    EXPECT_EQ(pressed(kKeyMediaStop), Calls{"pause"}) << "stop never resumes";
    EXPECT_EQ(pressed(kKeyMediaPlayPause), Calls{"resume"});

    // The system's separate play and pause never toggle.
    mediaCommand(tracks, MediaCommand::play);
    mediaCommand(tracks, MediaCommand::pause);
    mediaCommand(tracks, MediaCommand::pause);
    mediaCommand(tracks, MediaCommand::stop);
    mediaCommand(tracks, MediaCommand::play);
    mediaCommand(tracks, MediaCommand::playPause);
    EXPECT_EQ(output.takeCalls(), (Calls{"resume", "pause", "pause", "pause", "resume", "pause"}));
    // The pause zone and the keys share one state.
    EXPECT_FALSE(leftButtonDown(tracks, 150, 50));
    EXPECT_EQ(pressed(kKeySpace), (Calls{"resume", "pause"}));
    EXPECT_EQ(currentTrack, 0);
    EXPECT_EQ(titleZoom, 7.0f);
    EXPECT_FALSE(quitRequested);
}

TEST_F(InputTest, MouseKeepsItsPreviousPositionForTheRenderer) {
    mouseMoved(100, 100);
    mouseMoved(110, 100);
    EXPECT_EQ(mouseX - prevMouseX, 10);
    EXPECT_EQ(mouseY - prevMouseY, 0);
    // A press records its position like a move, outside every zone too.
    EXPECT_FALSE(leftButtonDown(tracks, 110, 130));
    EXPECT_EQ(prevMouseY, 100);
    EXPECT_EQ(mouseY, 130);
    EXPECT_TRUE(output.takeCalls().empty());
}

TEST(FrameClock, FrameSecondsIsTheTimeSinceThePreviousFrameAcrossATimerWrap) {
    nowMs = 0;
    beginFrame(0);
    EXPECT_EQ(frameSeconds, 0.0f);
    beginFrame(16);
    EXPECT_EQ(prevMs, 0u);
    EXPECT_EQ(frameSeconds, 0.016f);
    beginFrame(0xFFFFFFF0u);
    beginFrame(0x00000010u);
    EXPECT_EQ(frameSeconds, 0.032f);
    beginFrame(0x00000010u + 2500);
    EXPECT_EQ(frameSeconds, 2.5f);
}

}  // namespace
}  // namespace core::test
