// Drawn text into texels: alpha from coverage, and the glyphs' mirroring.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/coverage_texels.h"

namespace {

// A 3 x 2 image whose pixel at row r, column c holds (b, g, r, x) =
// (10r + c, 100 + 10r + c, 200 + 10r + c, 77).
std::vector<uint8_t> numberedImage() {
    std::vector<uint8_t> image;
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 3; ++c) {
            const uint8_t n = uint8_t(10 * r + c);
            image.insert(image.end(), {n, uint8_t(100 + n), uint8_t(200 + n), 77});
        }
    }
    return image;
}

const uint8_t* texelAt(const std::vector<uint8_t>& texels, int row, int column) {
    return texels.data() + (row * 3 + column) * 4;
}

TEST(CoverageTexels, TakeFirstThreeBytesAndTheFirstAgainAsAlphaInPlace) {
    const std::vector<uint8_t> image = numberedImage();
    std::vector<uint8_t> texels(image.size());
    render::coverageToTexels(image.data(), 3, 2, texels.data());
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 3; ++c) {
            const uint8_t n = uint8_t(10 * r + c);
            const uint8_t* texel = texelAt(texels, r, c);
            EXPECT_EQ(texel[0], n);
            EXPECT_EQ(texel[1], 100 + n);
            EXPECT_EQ(texel[2], 200 + n);
            EXPECT_EQ(texel[3], n) << "row " << r << " column " << c;
        }
    }
}

TEST(CoverageTexels, MirroredPutTheRightmostColumnFirstAndKeepRows) {
    const std::vector<uint8_t> image = numberedImage();
    std::vector<uint8_t> texels(image.size());
    render::mirroredCoverageToTexels(image.data(), 3, 2, texels.data());
    for (int r = 0; r < 2; ++r) {
        for (int c = 0; c < 3; ++c) {
            const uint8_t n = uint8_t(10 * r + (2 - c));
            const uint8_t* texel = texelAt(texels, r, c);
            EXPECT_EQ(texel[0], n) << "row " << r << " column " << c;
            EXPECT_EQ(texel[2], 200 + n);
            EXPECT_EQ(texel[3], n);
        }
    }
}

TEST(CoverageTexels, WhiteOnBlackGivesEqualChannelsAndAlpha) {
    const std::vector<uint8_t> image = {0, 0, 0, 0, 128, 128, 128, 0, 255, 255, 255, 0, 37, 37, 37, 0};
    std::vector<uint8_t> texels(image.size());
    render::mirroredCoverageToTexels(image.data(), 2, 2, texels.data());
    const uint8_t expected[] = {128, 0, 37, 255};
    for (int i = 0; i < 4; ++i) {
        for (int b = 0; b < 4; ++b) EXPECT_EQ(texels[size_t(i * 4 + b)], expected[i]) << "texel " << i;
    }
}

}  // namespace
