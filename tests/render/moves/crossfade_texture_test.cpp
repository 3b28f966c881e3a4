// The crossfade arithmetic: creation, blending, the exchange of frames.
#include "render/moves/crossfade_texture.h"

#include <gtest/gtest.h>

#include <vector>

#include "render/moves/random15.h"
#include "render/moves/random_frame.h"

namespace {

using render::CrossfadeTexture;

// State after `draws` more values from `state`.
uint32_t stateAfter(uint32_t state, int draws) {
    const uint32_t saved = render::random15State;
    render::random15State = state;
    for (int i = 0; i < draws; ++i) render::random15();
    const uint32_t result = render::random15State;
    render::random15State = saved;
    return result;
}

// Frames whose every float is the number of the frame: 1, 2, 3, ...
int framesMade = 0;
void countingFrame(float* frame, int32_t width, int32_t height) {
    ++framesMade;
    for (int32_t k = 0; k < width * height * 3; ++k) frame[k] = float(framesMade);
}

CrossfadeTexture countingCrossfade() {
    framesMade = 0;
    return render::makeCrossfadeFrames(2, 2, 1.0f, countingFrame);
}

std::vector<float> filled(float value) {
    return std::vector<float>(12, value);
}

TEST(CrossfadeCreation, TheThreeNoiseTexturesDraw24And96And1536Values) {
    render::random15State = 1;
    uint32_t expected = 1;
    const int sizes[3][2] = {{2, 24}, {4, 96}, {16, 1536}};
    for (const auto& [size, draws] : sizes) {
        CrossfadeTexture crossfade = render::makeCrossfadeFrames(size, size, 1.0f, render::fillRandomFrame);
        expected = stateAfter(expected, draws);
        EXPECT_EQ(render::random15State, expected) << size << " x " << size;
    }
    CrossfadeTexture crossfade = countingCrossfade();
    EXPECT_EQ(crossfade.fromFrame, filled(1.0f)) << "fromFrame is filled first";
    EXPECT_EQ(crossfade.toFrame, filled(2.0f));
}

TEST(CrossfadeStep, WithNoTimeLeavesTheMix) {
    CrossfadeTexture crossfade = countingCrossfade();
    render::advanceCrossfade(crossfade, 0.0f);
    EXPECT_EQ(crossfade.blended, filled(1.0f)) << "right after creation: fromFrame exactly";

    render::advanceCrossfade(crossfade, 0.25f);
    const std::vector<float> mix = crossfade.blended;
    EXPECT_EQ(mix[0], 0.75f * 1.0f + 0.25f * 2.0f);
    render::advanceCrossfade(crossfade, 0.0f);
    EXPECT_EQ(crossfade.blend, 0.25f);
    EXPECT_EQ(crossfade.blended, mix);
    EXPECT_EQ(framesMade, 2);
}

TEST(CrossfadeStep, ReachingOneRestartsAtExactlyZeroFromTheFrameReached) {
    CrossfadeTexture crossfade = countingCrossfade();
    render::advanceCrossfade(crossfade, 0.95f);
    const float* formerFrom = crossfade.fromFrame.data();
    const float* formerTo = crossfade.toFrame.data();

    render::advanceCrossfade(crossfade, 0.1f);  // 0.95 -> 1.05
    EXPECT_EQ(crossfade.blend, 0.0f);
    EXPECT_EQ(crossfade.blended, filled(2.0f)) << "the former toFrame, unmixed";
    EXPECT_EQ(crossfade.toFrame, filled(3.0f));
    // Exchanged, not copied or made anew: a step allocates nothing.
    EXPECT_EQ(crossfade.fromFrame.data(), formerTo);
    EXPECT_EQ(crossfade.toFrame.data(), formerFrom);
}

TEST(CrossfadeStep, AStepPastTwoExchangesTheFramesOnlyOnce) {
    CrossfadeTexture crossfade = countingCrossfade();
    render::advanceCrossfade(crossfade, 3.7f);
    EXPECT_EQ(crossfade.blend, 0.0f);
    EXPECT_EQ(framesMade, 3);
    EXPECT_EQ(crossfade.blended, filled(2.0f));
}

}  // namespace
