// The musicdisk's start, frame and quit sequence with a shell that records
// what it is asked, in one list with the output's calls: the start-up order,
// its two failure exits, when a selected track plays, and the teardown.
#include "core/musicdisk.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "core/input.h"
#include "core/shared_state.h"
#include "support/recording_output.h"
#include "support/wave_bank.h"

namespace core::test {
namespace {

using Calls = std::vector<std::string>;

std::vector<int32_t> looked;

resources::ResourceData noteLookup(int32_t resourceId) {
    looked.push_back(resourceId);
    return findSongResource(resourceId);
}

class RecordingShell final : public MusicdiskShell {
public:
    explicit RecordingShell(RecordingOutput& output) : output_(output) {}

    uint32_t timerMs() override { return timer; }
    bool openWindow() override {
        note("openWindow " + std::to_string(windowWidth) + "x" + std::to_string(windowHeight));
        return windowOpens;
    }
    void initScene() override { note("initScene"); }
    bool shapeWindow() override {
        note("shapeWindow");
        return outlineFound;
    }
    void showWindow() override { note("showWindow"); }
    void drawFrame() override { note("drawFrame"); }
    void showSetupError(const char* text) override { note(std::string("showSetupError ") + text); }
    void closeWindow() override { note("closeWindow"); }

    Calls takeCalls() {
        takeOutputCalls();
        Calls taken;
        taken.swap(calls_);
        return taken;
    }

    uint32_t timer = 0;
    bool windowOpens = true;
    bool outlineFound = true;

private:
    void takeOutputCalls() {
        for (std::string& played : output_.takeCalls()) calls_.push_back(std::move(played));
    }
    void note(std::string call) {
        takeOutputCalls();
        calls_.push_back(std::move(call));
    }

    RecordingOutput& output_;
    Calls calls_;
};

const std::string kOpen = "open 44100 16 2 16 1.000000";

class MusicdiskTest : public ::testing::Test {
protected:
    void SetUp() override {
        looked.clear();
        windowWidth = windowHeight = 0;
        nowMs = 0;
        currentTrack = 5;
        quitRequested = true;
    }

    std::unique_ptr<ahx::Player> player = std::make_unique<ahx::Player>();
    RecordingOutput output;
    TrackControl tracks{*player, test_support::sharedBank(), output, noteLookup};
    RecordingShell shell{output};
    Musicdisk musicdisk{shell, tracks};
};

TEST_F(MusicdiskTest, TheFirstTunePlaysWhenTheWindowAppearsAndChangesWaitForTheDrain) {
    shell.timer = 5000;
    ASSERT_TRUE(musicdisk.start());
    EXPECT_EQ(shell.takeCalls(), (Calls{"openWindow 256x256", "initScene", "shapeWindow", kOpen,
                                        "startThread", "play", "showWindow"}));
    EXPECT_EQ(looked, std::vector<int32_t>{trackResourceIds[0]});
    EXPECT_EQ(currentTrack, 0);
    EXPECT_FALSE(quitRequested);

    // The first frame is timed from the end of the start, not from the
    // timer's zero.
    shell.timer = 5016;
    musicdisk.frame();
    EXPECT_EQ(frameSeconds, 0.016f);
    EXPECT_EQ(shell.takeCalls(), Calls{"drawFrame"});

    EXPECT_FALSE(keyDown(tracks, kKeyDown));
    EXPECT_FALSE(keyDown(tracks, kKeyDown));
    EXPECT_TRUE(shell.takeCalls().empty());
    musicdisk.afterDrain();
    musicdisk.afterDrain();
    EXPECT_EQ(shell.takeCalls(), (Calls{"stop", "stopThread", "release", kOpen, "startThread", "play"}));
    EXPECT_EQ(looked.back(), trackResourceIds[2]);

    // A change asked for in the drain that quits is never heard; the sound
    // stops and its thread ends before the window goes.
    EXPECT_FALSE(keyDown(tracks, kKeyDown));
    EXPECT_TRUE(keyDown(tracks, kKeyEscape));
    musicdisk.afterDrain();
    musicdisk.quit();
    EXPECT_EQ(shell.takeCalls(), (Calls{"stop", "stopThread", "closeWindow"}));
}

TEST_F(MusicdiskTest, AFailedSetUpHasToldTheUserAndStartsNoSound) {
    shell.windowOpens = false;
    EXPECT_FALSE(musicdisk.start());
    EXPECT_EQ(shell.takeCalls(), Calls{"openWindow 256x256"});

    shell.windowOpens = true;
    shell.outlineFound = false;
    EXPECT_FALSE(musicdisk.start());
    EXPECT_EQ(shell.takeCalls(), (Calls{"openWindow 256x256", "initScene", "shapeWindow",
                                        "showSetupError Unable to retrieve the skin.", "closeWindow"}));
    EXPECT_TRUE(looked.empty());
}

}  // namespace
}  // namespace core::test
