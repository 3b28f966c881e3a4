// The crossfade arithmetic: creation, blending, the exchange of frames.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/crossfade_texture.h"
#include "render/random15.h"
#include "render/random_frame.h"

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

CrossfadeTexture countingCrossfade(float speed) {
    framesMade = 0;
    return render::makeCrossfadeFrames(2, 2, speed, countingFrame);
}

TEST(CrossfadeCreation, TheThreeNoiseTexturesDraw24And96And1536Values) {
    render::random15State = 1;
    uint32_t expected = 1;
    const int sizes[] = {2, 4, 16};
    const int draws[] = {24, 96, 1536};
    for (int i = 0; i < 3; ++i) {
        CrossfadeTexture crossfade = render::makeCrossfadeFrames(sizes[i], sizes[i], 1.0f, render::fillRandomFrame);
        expected = stateAfter(expected, draws[i]);
        EXPECT_EQ(render::random15State, expected) << sizes[i] << " x " << sizes[i];
        EXPECT_EQ(crossfade.blended.size(), size_t(sizes[i] * sizes[i] * 3));
    }
}

TEST(CrossfadeCreation, FillsFromFrameFirstAndStartsAtBlendZero) {
    CrossfadeTexture crossfade = countingCrossfade(0.5f);
    EXPECT_EQ(crossfade.fromFrame, std::vector<float>(12, 1.0f));
    EXPECT_EQ(crossfade.toFrame, std::vector<float>(12, 2.0f));
    EXPECT_EQ(crossfade.blend, 0.0f);
    EXPECT_EQ(crossfade.speed, 0.5f);
    EXPECT_EQ(crossfade.width, 2);
    EXPECT_EQ(crossfade.height, 2);
}

TEST(CrossfadeStep, WithNoTimeRightAfterCreationGivesFromFrameExactly) {
    render::random15State = 1;
    CrossfadeTexture crossfade = render::makeCrossfadeFrames(4, 4, 0.2f, render::fillRandomFrame);
    render::advanceCrossfade(crossfade, 0.0f);
    EXPECT_EQ(crossfade.blend, 0.0f);
    EXPECT_EQ(crossfade.blended, crossfade.fromFrame);
}

TEST(CrossfadeStep, WithNoTimeMidwayKeepsTheMixAndDrawsNothing) {
    CrossfadeTexture crossfade = countingCrossfade(1.0f);
    render::advanceCrossfade(crossfade, 0.25f);
    const std::vector<float> mix = crossfade.blended;
    render::advanceCrossfade(crossfade, 0.0f);
    EXPECT_EQ(crossfade.blend, 0.25f);
    EXPECT_EQ(crossfade.blended, mix);
    EXPECT_EQ(framesMade, 2);
}

TEST(CrossfadeStep, MixesInSinglePrecision) {
    CrossfadeTexture crossfade = countingCrossfade(0.1f);
    render::advanceCrossfade(crossfade, 2.5f);  // blend 0.25
    EXPECT_EQ(crossfade.blend, 2.5f * 0.1f);
    const float blend = crossfade.blend;
    EXPECT_EQ(crossfade.blended[0], (1.0f - blend) * 1.0f + blend * 2.0f);
    EXPECT_EQ(crossfade.blended[11], crossfade.blended[0]);
}

TEST(CrossfadeStep, ReachingOneRestartsAtExactlyZeroFromTheFrameReached) {
    CrossfadeTexture crossfade = countingCrossfade(1.0f);
    render::advanceCrossfade(crossfade, 0.95f);
    const float* formerFrom = crossfade.fromFrame.data();
    const float* formerTo = crossfade.toFrame.data();

    render::advanceCrossfade(crossfade, 0.1f);  // 0.95 -> 1.05
    EXPECT_EQ(crossfade.blend, 0.0f);
    EXPECT_EQ(crossfade.blended, std::vector<float>(12, 2.0f)) << "the former toFrame, unmixed";
    EXPECT_EQ(crossfade.fromFrame, std::vector<float>(12, 2.0f));
    EXPECT_EQ(crossfade.toFrame, std::vector<float>(12, 3.0f));
    // The buffers are exchanged, not copied or made anew.
    EXPECT_EQ(crossfade.fromFrame.data(), formerTo);
    EXPECT_EQ(crossfade.toFrame.data(), formerFrom);
}

TEST(CrossfadeStep, AVeryLongStepExchangesTheFramesOnlyOnce) {
    CrossfadeTexture crossfade = countingCrossfade(1.0f);
    render::advanceCrossfade(crossfade, 3.7f);
    EXPECT_EQ(crossfade.blend, 0.0f);
    EXPECT_EQ(framesMade, 3);
    EXPECT_EQ(crossfade.blended, std::vector<float>(12, 2.0f));

    render::random15State = 1;
    CrossfadeTexture noise = render::makeCrossfadeFrames(2, 2, 1.0f, render::fillRandomFrame);
    const uint32_t before = render::random15State;
    render::advanceCrossfade(noise, 1000.0f);
    EXPECT_EQ(render::random15State, stateAfter(before, 12)) << "one new frame of 2 x 2";
}

}  // namespace
