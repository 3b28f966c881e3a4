// Drawn text into texels: alpha from coverage, and the glyphs' mirroring.
#include "render/moves/coverage_texels.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// 3 x 2 pixels; the one at row r, column c holds (n, n + 100, n + 200, 77)
// with n = 10r + c.
std::vector<uint8_t> numberedImage() {
    std::vector<uint8_t> image;
    for (int n : {0, 1, 2, 10, 11, 12})
        image.insert(image.end(), {uint8_t(n), uint8_t(n + 100), uint8_t(n + 200), 77});
    return image;
}

// Texel (row, column) must come from pixel (row, sourceColumn).
void expectTexels(const std::vector<uint8_t>& texels, bool mirrored) {
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            const int n = 10 * row + (mirrored ? 2 - column : column);
            const uint8_t* texel = &texels[size_t(row * 3 + column) * 4];
            EXPECT_EQ(texel[0], n) << "row " << row << " column " << column;
            EXPECT_EQ(texel[1], n + 100);
            EXPECT_EQ(texel[2], n + 200);
            EXPECT_EQ(texel[3], n) << "alpha repeats the first byte";
        }
    }
}

TEST(CoverageTexels, KeepRowsAndColumns) {
    const std::vector<uint8_t> image = numberedImage();
    std::vector<uint8_t> texels(image.size());
    render::coverageToTexels(image.data(), 3, 2, texels.data());
    expectTexels(texels, false);
}

TEST(CoverageTexels, MirroredPutTheRightmostColumnFirst) {
    const std::vector<uint8_t> image = numberedImage();
    std::vector<uint8_t> texels(image.size());
    render::mirroredCoverageToTexels(image.data(), 3, 2, texels.data());
    expectTexels(texels, true);
}

}  // namespace
