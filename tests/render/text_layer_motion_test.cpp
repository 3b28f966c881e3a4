// How the logo, the title list and the character ring move.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>

#include "render/logo_pulse.h"
#include "render/scroll_ring.h"
#include "render/title_motion.h"

namespace {

using namespace render;

TEST(LogoPulse, CopiesSwingBetweenMinusTwoAndTwoHalfARadianApart) {
    EXPECT_EQ(logoWidthScale(0, 0), 0.0f);
    EXPECT_EQ(logoWidthScale(0, 1), 2.0f * std::sin(0.5f));
    // A quarter period after 0: 150 pi ms, the first copy at its widest.
    EXPECT_NEAR(logoWidthScale(471, 0), 2.0f, 1e-4f);
    EXPECT_NEAR(logoWidthScale(1414, 0), -2.0f, 1e-4f);
    EXPECT_EQ(logoCopyOffset(0), 0.0f);
    EXPECT_EQ(logoCopyOffset(4), -1.0f);
}

TEST(TitleZoom, AdvancesFivePerSecondAndHoldsAtTen) {
    EXPECT_EQ(advanceTitleZoom(0.0f, 0.02f), 0.02f * 5.0f);
    EXPECT_EQ(advanceTitleZoom(9.0f, 0.1f), 9.5f);
    EXPECT_EQ(advanceTitleZoom(9.9f, 0.1f), 10.0f);
    EXPECT_EQ(advanceTitleZoom(10.0f, 0.0f), 10.0f);
    // A first frame spanning the timer's whole uptime.
    EXPECT_EQ(advanceTitleZoom(0.0f, 3600.0f), 10.0f);
}

TEST(SelectedTitle, StartsInItsListPlaceUnturned) {
    const TitlePose pose = selectedTitlePose(3, 0.0f);
    EXPECT_EQ(pose.y, listTitleOffset(3));
    EXPECT_EQ(pose.y, -0.2f * 3.0f);
    EXPECT_EQ(pose.z, 0.0f);
    EXPECT_EQ(pose.turnDegrees, 0.0f);
}

TEST(SelectedTitle, IsHalfwayAtZoomFive) {
    const float y0 = -0.2f * 3.0f;
    const TitlePose pose = selectedTitlePose(3, 5.0f);
    EXPECT_EQ(pose.y, y0 + (-0.5f - y0) * 0.5f);
    EXPECT_EQ(pose.z, 1.2f);
    EXPECT_EQ(pose.turnDegrees, 180.0f);
}

TEST(SelectedTitle, ArrivesAtZoomTenWhateverItsPlace) {
    for (int32_t index : {0, 4, 9}) {
        const TitlePose pose = selectedTitlePose(index, kTitleZoomArrived);
        EXPECT_FLOAT_EQ(pose.y, -0.5f) << "title " << index;
        EXPECT_EQ(pose.z, 2.4f);
        EXPECT_EQ(pose.turnDegrees, 360.0f);
    }
}

TEST(Ghosts, MouseMovedTenPixelsRightSwingsThemUpToEightDegrees) {
    const int32_t travel = mouseTravel(110, 50, 100, 50);
    EXPECT_EQ(travel, -10);
    float widest = 0.0f;
    for (uint32_t ms = 0; ms < 1000; ++ms) {
        for (int32_t ghost = 1; ghost <= kTitleGhosts; ++ghost) {
            const float swing = ghostSwingDegrees(ms, ghost, travel);
            ASSERT_LE(std::fabs(swing), 8.0f);
            widest = std::fmax(widest, std::fabs(swing));
        }
    }
    EXPECT_GT(widest, 7.99f);
    EXPECT_EQ(ghostSwingDegrees(1234, 2, 0), 0.0f) << "still while the mouse has not moved";
    EXPECT_EQ(ghostSwingDegrees(0, 1, -10), std::sin(2.3f) * -10.0f * 0.8f);
}

TEST(Ghosts, FadeBackToFrontAndTakeABlueOfPointFourToPointEight) {
    EXPECT_EQ(ghostAlpha(1), 0.8f);
    EXPECT_FLOAT_EQ(ghostAlpha(4), 0.2f);
    for (uint32_t ms = 0; ms < 2000; ms += 7) {
        EXPECT_GE(highlightBlue(ms), 0.4f - 1e-6f);
        EXPECT_LE(highlightBlue(ms), 0.8f + 1e-6f);
    }
    EXPECT_FLOAT_EQ(highlightBlue(0), 0.6f);
}

TEST(TitleFlicker, GrowsOverEachSecondUnlessTheDrawIsLow) {
    EXPECT_EQ(titleFlicker(937, 0), 1.0f);
    EXPECT_EQ(titleFlicker(937, 500), 1.0f + 500.0f * 0.0002f);
    EXPECT_EQ(titleFlicker(32767, 12999), 1.0f + 999.0f * 0.0002f);
    EXPECT_EQ(titleFlicker(936, 500), 1.0f);
    EXPECT_EQ(titleFlicker(0, 999), 1.0f);
    // The timer's wrap at 2^32 ms: the remainder is taken as unsigned.
    EXPECT_EQ(titleFlicker(5000, 0xFFFFFFFFu), 1.0f + 295.0f * 0.0002f);
}

TEST(ScrollRing, ExactlyThirtySixDegreesDoesNotMoveOn) {
    float angle = 0.0f;
    int32_t index = 0;
    advanceScroll(angle, index, 0.45f);
    EXPECT_EQ(angle, 36.0f);
    EXPECT_EQ(index, 0);
}

TEST(ScrollRing, HalfASecondTurnsFortyDegreesAndMovesOnOneCharacter) {
    float angle = 0.0f;
    int32_t index = 7;
    advanceScroll(angle, index, 0.5f);
    EXPECT_EQ(angle, 0.0f) << "the excess over 36 is dropped";
    EXPECT_EQ(index, 8);

    // However long the frame, one character at a time.
    advanceScroll(angle, index, 30.0f);
    EXPECT_EQ(angle, 0.0f);
    EXPECT_EQ(index, 9);
}

TEST(ScrollRing, NoTimeMovesNothing) {
    float angle = 12.5f;
    int32_t index = 3;
    advanceScroll(angle, index, 0.0f);
    EXPECT_EQ(angle, 12.5f);
    EXPECT_EQ(index, 3);
}

TEST(ScrollRing, SlotsShowConsecutiveCharactersAndWrapToTheStart) {
    const std::string text = "ABCDEFGHIJKLMNOP";
    const int32_t length = int32_t(text.size());
    std::string shown;
    for (int32_t slot = 0; slot < kRingSlots; ++slot) shown += char(ringSlotCode(text.c_str(), length, 0, slot));
    EXPECT_EQ(shown, "ABCDEFGHIJ");

    shown.clear();
    for (int32_t slot = 0; slot < kRingSlots; ++slot) shown += char(ringSlotCode(text.c_str(), length, 12, slot));
    EXPECT_EQ(shown, "MNOPABCDEF");

    EXPECT_EQ(ringSlotCode(text.c_str(), length, 2 * length + 1, 0), 'B');
    EXPECT_EQ(ringSlotCode("", 0, 5, 3), 0) << "an empty text shows no character";
}

TEST(ScrollRing, CodesAreUnsignedBytes) {
    const char text[] = {char(0xE9), 'a'};
    EXPECT_EQ(ringSlotCode(text, 2, 0, 0), 0xE9);
}

TEST(ScrollRing, NearSideIsTallestAndDrawnInFrontOfTheCube) {
    EXPECT_EQ(ringSlotAngle(5, 0.0f), 180.0f);
    EXPECT_EQ(ringSlotAngle(5, 10.0f), 170.0f);
    EXPECT_EQ(ringSlotStretch(180.0f), 2.0f);
    EXPECT_EQ(ringSlotStretch(90.0f), 1.0f);
    EXPECT_EQ(ringSlotStretch(270.0f), 1.0f);
    EXPECT_EQ(ringSlotStretch(0.0f), 0.0f);
    EXPECT_FLOAT_EQ(ringSlotStretch(ringSlotAngle(0, 36.0f)), -0.4f) << "slot 0 just before moving on";

    for (int32_t slot = 0; slot < kRingSlots; ++slot) {
        EXPECT_EQ(ringSlotDepthTested(slot), slot < 3 || slot > 7) << "slot " << slot;
    }
}

}  // namespace
