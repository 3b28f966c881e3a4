// The crossfade runs twice per noise texture on every frame: it must work in
// the buffers it was made with.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "counting_allocator.h"
#include "render/crossfade_texture.h"
#include "render/random_frame.h"

namespace {

// Kept beyond the probe, so that the optimiser cannot drop its allocations.
std::unique_ptr<std::vector<int>> probe;

TEST(CrossfadeAllocation, CountingSeesAllocations) {
    const long seen = render::test::allocationsDuring([] { probe = std::make_unique<std::vector<int>>(10); });
    EXPECT_EQ(seen, 2);
}

TEST(CrossfadeAllocation, StepsAndExchangesAllocateNothing) {
    render::CrossfadeTexture crossfade = render::makeCrossfadeFrames(16, 16, 1.0f, render::fillRandomFrame);
    const float* buffers[3] = {crossfade.fromFrame.data(), crossfade.toFrame.data(), crossfade.blended.data()};
    const long seen = render::test::allocationsDuring([&crossfade] {
        for (int i = 0; i < 1000; ++i) render::advanceCrossfade(crossfade, 0.03f);
        render::advanceCrossfade(crossfade, 5.0f);
    });
    EXPECT_EQ(seen, 0);
    EXPECT_EQ(crossfade.blended.data(), buffers[2]);
    EXPECT_TRUE(crossfade.fromFrame.data() == buffers[0] || crossfade.fromFrame.data() == buffers[1]);
    EXPECT_TRUE(crossfade.toFrame.data() == buffers[0] || crossfade.toFrame.data() == buffers[1]);
}

}  // namespace
