// The random source and the noise frames drawn from it.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <vector>

#include "render/random15.h"
#include "render/random_frame.h"

namespace {

using render::random15;
using render::random15State;

TEST(Random15, FromStateOneGivesTheKnownSequence) {
    random15State = 1;
    EXPECT_EQ(random15(), 41);
    EXPECT_EQ(random15(), 18467);
    EXPECT_EQ(random15(), 6334);
    EXPECT_EQ(random15(), 26500);
}

TEST(Random15, StaysWithinFifteenBitsAcrossTheStateWrap) {
    random15State = 0xFFFFFFFFu;
    for (int i = 0; i < 100000; ++i) {
        const int32_t value = random15();
        ASSERT_GE(value, 0);
        ASSERT_LE(value, 32767);
    }
}

TEST(RandomFrame, ScaleIsOneOver32767InSinglePrecision) {
    EXPECT_EQ(std::bit_cast<uint32_t>(render::kRandomToUnit), 0x38000100u);
    EXPECT_EQ(32767.0f * render::kRandomToUnit, 1.0f);
}

TEST(RandomFrame, DrawsRedGreenBlueOfEachTexelInRowOrder) {
    random15State = 1;
    std::vector<float> frame(3 * 3 * 2, -1.0f);
    render::fillRandomFrame(frame.data(), 3, 2);

    random15State = 1;
    for (size_t k = 0; k < frame.size(); ++k) {
        EXPECT_EQ(frame[k], float(random15()) * render::kRandomToUnit) << "float " << k;
    }
    EXPECT_EQ(frame[0], 41.0f * render::kRandomToUnit);
}

}  // namespace
