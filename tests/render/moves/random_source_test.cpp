// The random source and the noise frames drawn from it.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "render/moves/random15.h"
#include "render/moves/random_frame.h"

namespace {

TEST(Random15, FromStateOneGivesTheKnownSequence) {
    render::random15State = 1;
    EXPECT_EQ(render::random15(), 41);
    EXPECT_EQ(render::random15(), 18467);
    EXPECT_EQ(render::random15(), 6334);
    EXPECT_EQ(render::random15(), 26500);
}

TEST(RandomFrame, DrawsRedGreenBlueOfEachTexelInRowOrderScaledToOne) {
    render::random15State = 1;
    std::vector<float> frame(3 * 3 * 2);
    render::fillRandomFrame(frame.data(), 3, 2);
    // The known draws from state 1: red, green and blue of the first texel,
    // then the red of the texel beside it, not of the one below it.
    const float known[] = {41, 18467, 6334, 26500};
    for (size_t k = 0; k < 4; ++k) EXPECT_EQ(frame[k], known[k] * render::kRandomToUnit) << "float " << k;
    for (float f : frame) {
        EXPECT_GE(f, 0.0f);
        EXPECT_LE(f, 1.0f);
    }
    // One draw for each float and no more, or every later draw shifts.
    const uint32_t after = render::random15State;
    render::random15State = 1;
    for (size_t k = 0; k < frame.size(); ++k) render::random15();
    EXPECT_EQ(after, render::random15State);
    // The largest draw is full intensity.
    EXPECT_EQ(32767.0f * render::kRandomToUnit, 1.0f);
}

}  // namespace
