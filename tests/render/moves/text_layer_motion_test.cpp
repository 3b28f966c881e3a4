// How the logo, the title list, the cube and the character ring move.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>

#include "render/draws/frame_renderer.h"
#include "render/moves/logo_pulse.h"
#include "render/moves/scroll_ring.h"
#include "render/moves/title_motion.h"

namespace {

using namespace render;

constexpr uint32_t kDayMs = 24 * 60 * 60 * 1000;

// Twelve 16 ms frames from `firstMs` on, through the timer's wrap if it
// comes: each frame must change `sine`, and the values must be those of one
// sine whose angle grows evenly by `radiansPerMs`, for which
// s[n-1] + s[n+1] = 2 cos(step) s[n].
void expectSmoothSine(const std::function<double(uint32_t)>& sine, double radiansPerMs, uint32_t firstMs) {
    const double step = 16.0 * radiansPerMs;
    double s[12];
    for (uint32_t n = 0; n < 12; ++n) s[n] = sine(firstMs + 16 * n);
    for (int n = 1; n < 12; ++n) {
        EXPECT_NE(s[n], s[n - 1]) << "frame " << n << " from " << firstMs;
        if (n == 11) break;
        EXPECT_NEAR(s[n - 1] + s[n + 1], 2.0 * std::cos(step) * s[n], 1e-4)
            << "frame " << n << " from " << firstMs;
    }
}

TEST(TimerMotion, LogoAndGhostsMoveSmoothlyAfterAMinuteAfterTwentyFiveDaysAndThroughTheWrap) {
    for (uint32_t firstMs : {60000u, 25 * kDayMs, 0xFFFFFFFFu - 100}) {
        expectSmoothSine([](uint32_t ms) { return double(logoWidthScale(ms, 3)) / 2.0; }, 1.0 / 300.0,
                         firstMs);
        expectSmoothSine([](uint32_t ms) { return (double(highlightBlue(ms)) - 0.6) / 0.2; }, 1.0 / 300.0,
                         firstMs);
        expectSmoothSine([](uint32_t ms) { return double(ghostSwingDegrees(ms, 2, -10)) / -8.0; },
                         1.0 / 150.0, firstMs);
    }
    // Where the timer's float was exact, the motion is what it was.
    EXPECT_NEAR(logoWidthScale(60000, 3), 2.0 * std::sin(200.0 + 1.5), 1e-4);
    EXPECT_NEAR(highlightBlue(60000), (std::sin(200.0) + 1.0) * 0.2 + 0.4, 1e-4);
    EXPECT_NEAR(ghostSwingDegrees(60000, 2, -10), std::sin(400.0 + 4.6) * -8.0, 1e-3);
}

TEST(CubeTurn, TenDegreesPerSecondStillEvenAfterAWeek) {
    EXPECT_EQ(advanceCubeAngle(100.0f, 0.5f), 105.0f);
    EXPECT_NEAR(advanceCubeAngle(3599.0f, 0.16f), 0.6f, 1e-3) << "whole turns of all three axes are dropped";
    float angle = 0.0f;
    for (int second = 0; second < 7 * 24 * 3600; ++second) angle = advanceCubeAngle(angle, 1.0f);
    for (int frame = 0; frame < 100; ++frame) {
        const float next = advanceCubeAngle(angle, 0.016f);
        EXPECT_NEAR(std::fmod(next - angle + 3600.0f, 3600.0f), 0.16f, 1e-3);
        angle = next;
    }
}

TEST(TitleZoom, AdvancesFivePerSecondAndHoldsAtTen) {
    EXPECT_EQ(advanceTitleZoom(9.0f, 0.1f), 9.5f);
    EXPECT_EQ(advanceTitleZoom(9.9f, 0.1f), 10.0f);
    // A first frame spanning the timer's whole uptime.
    EXPECT_EQ(advanceTitleZoom(0.0f, 3600.0f), 10.0f);
}

TEST(SelectedTitle, FliesFromItsListPlaceToTheFrontTurningOnce) {
    const float y0 = -0.2f * 3.0f;
    const TitlePose start = selectedTitlePose(3, 0.0f);
    EXPECT_EQ(start.y, y0);
    EXPECT_EQ(start.z, 0.0f);
    EXPECT_EQ(start.turnDegrees, 0.0f);

    const TitlePose halfway = selectedTitlePose(3, 5.0f);
    EXPECT_EQ(halfway.y, y0 + (-0.5f - y0) * 0.5f);
    EXPECT_EQ(halfway.z, 1.2f);
    EXPECT_EQ(halfway.turnDegrees, 180.0f);

    const TitlePose arrived = selectedTitlePose(9, kTitleZoomArrived);
    EXPECT_FLOAT_EQ(arrived.y, -0.5f);
    EXPECT_EQ(arrived.z, 2.4f);
    EXPECT_EQ(arrived.turnDegrees, 360.0f);
}

TEST(Ghosts, MouseMovedTenPixelsRightSwingsThemUpToEightDegrees) {
    const int32_t travel = mouseTravel(110, 50, 100, 50);
    EXPECT_EQ(travel, -10);
    float widest = 0.0f;
    for (uint32_t ms = 0; ms < 1000; ++ms)
        widest = std::fmax(widest, std::fabs(ghostSwingDegrees(ms, 1, travel)));
    EXPECT_LE(widest, 8.0f);
    EXPECT_GT(widest, 7.99f);
    EXPECT_EQ(ghostSwingDegrees(1234, 2, 0), 0.0f) << "still while the mouse has not moved";
}

TEST(TitleFlicker, GrowsOverEachSecondUnlessTheDrawIsLow) {
    EXPECT_EQ(titleFlicker(937, 12500), 1.0f + 500.0f * 0.0002f);
    EXPECT_EQ(titleFlicker(936, 12500), 1.0f);
    EXPECT_EQ(titleFlicker(5000, 0xFFFFFFFFu), 1.0f + 295.0f * 0.0002f) << "unsigned remainder";
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
    advanceScroll(angle, index, 30.0f);
    EXPECT_EQ(index, 9) << "however long the frame, one character at a time";
}

TEST(ScrollRing, SlotsShowConsecutiveCharactersAndWrapToTheStart) {
    const std::string text = "ABCDEFGHIJKLMNOP";
    std::string shown;
    for (int32_t slot = 0; slot < kRingSlots; ++slot) {
        shown += char(ringSlotCode(text.c_str(), int32_t(text.size()), 12, slot));
    }
    EXPECT_EQ(shown, "MNOPABCDEF");
    const char high[] = {char(0xE9), 'a'};
    EXPECT_EQ(ringSlotCode(high, 2, 0, 0), 0xE9) << "codes are unsigned bytes";
}

}  // namespace
