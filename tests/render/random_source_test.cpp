// The random source and the noise frames drawn from it.
#include <gtest/gtest.h>

#include <bit>
#include <vector>

#include "render/random15.h"
#include "render/random_frame.h"

namespace {

TEST(Random15, FromStateOneGivesTheKnownSequence) {
    render::random15State = 1;
    EXPECT_EQ(render::random15(), 41);
    EXPECT_EQ(render::random15(), 18467);
    EXPECT_EQ(render::random15(), 6334);
    EXPECT_EQ(render::random15(), 26500);
}

TEST(RandomFrame, ScalesEachDrawByOneOver32767InRowOrder) {
    EXPECT_EQ(std::bit_cast<uint32_t>(render::kRandomToUnit), 0x38000100u);
    EXPECT_EQ(32767.0f * render::kRandomToUnit, 1.0f);

    render::random15State = 1;
    std::vector<float> frame(3 * 3 * 2);
    render::fillRandomFrame(frame.data(), 3, 2);
    render::random15State = 1;
    for (size_t k = 0; k < frame.size(); ++k) {
        EXPECT_EQ(frame[k], float(render::random15()) * render::kRandomToUnit) << "float " << k;
    }
}

}  // namespace
