// The program's entry function in an executable whose outline resource is
// missing: the user is told, the window goes, nothing has started to sound,
// and the exit code says it failed.
#include <gtest/gtest.h>

#include "shells/windows/entry.h"
#include "support/recorded_setup_errors.h"

namespace windows::test {
namespace {

TEST(EntryWithoutOutline, ShowsWhyAndEndsWithCodeOneBeforeAnySound) {
    EXPECT_EQ(runMusicdisk(), 1);
    EXPECT_EQ(recordedSetupErrors(), std::vector<std::string>{"Unable to retrieve the skin."});
    EXPECT_NE(mainWindow, nullptr);
    EXPECT_FALSE(IsWindow(mainWindow));
    EXPECT_EQ(outputDevice.waveOut, nullptr);
    EXPECT_EQ(outputDevice.playing.load(), 0);
    EXPECT_EQ(outputDevice.player, nullptr);
}

}  // namespace
}  // namespace windows::test
