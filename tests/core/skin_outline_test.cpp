// The skin's outline read from its region-data block, as the web page shapes
// its window with it: the real resource, and blocks that must be refused.
#include "core/skin_outline.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "resource_ids.h"
#include "resources/program_resources.h"

namespace core::test {
namespace {

void putWord(std::vector<uint8_t>& bytes, uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes.push_back(uint8_t(value >> (8 * i)));
}

std::vector<uint8_t> block(uint32_t headerSize, uint32_t type, uint32_t count,
                           const std::vector<OutlineRect>& rects) {
    std::vector<uint8_t> bytes;
    for (uint32_t v : {headerSize, type, count, uint32_t(rects.size() * 16), 0u, 0u, 256u, 256u})
        putWord(bytes, v);
    for (const OutlineRect& r : rects) {
        for (int32_t v : {r.left, r.top, r.right, r.bottom}) putWord(bytes, uint32_t(v));
    }
    return bytes;
}

bool covered(const std::vector<OutlineRect>& rects, int32_t x, int32_t y) {
    for (const OutlineRect& r : rects) {
        if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) return true;
    }
    return false;
}

TEST(SkinOutline, TheProgramsOutlineCoversTheSkinAndNotTheCorners) {
    const resources::ResourceData outline =
        resources::findProgramResource("SKINREGION", resources::kSkinRegionId);
    std::vector<OutlineRect> rects;
    ASSERT_TRUE(readOutline(outline.bytes, outline.size, rects));
    ASSERT_FALSE(rects.empty());
    for (const OutlineRect& r : rects) {
        EXPECT_TRUE(r.left >= 0 && r.right <= 256 && r.top >= 0 && r.bottom <= 256);
    }
    // A plain point of the skin, the screen, the zones; not the window's corners.
    for (auto [x, y] : {std::pair{128, 20}, {128, 128}, {190, 56}, {36, 62}}) {
        EXPECT_TRUE(covered(rects, x, y)) << x << ", " << y;
    }
    for (auto [x, y] : {std::pair{0, 0}, {255, 0}, {0, 255}, {255, 255}}) {
        EXPECT_FALSE(covered(rects, x, y)) << x << ", " << y;
    }
}

TEST(SkinOutline, ReadsRectanglesLeavesOutEmptyOnesAndDrawsThemAsOnePath) {
    std::vector<OutlineRect> rects;
    ASSERT_TRUE(
        readOutline(block(32, 1, 3, {{0, 0, 10, 5}, {4, 4, 4, 9}, {2, 5, 8, 7}}).data(), 32 + 3 * 16, rects));
    ASSERT_EQ(rects.size(), 2u);
    EXPECT_EQ(outlinePath(rects), "M0 0H10V5H0ZM2 5H8V7H2Z");
    EXPECT_EQ(outlinePath({}), "");
}

TEST(SkinOutline, RefusesBlocksThatAreNotRectangleRegions) {
    const std::vector<OutlineRect> one{{0, 0, 10, 5}};
    std::vector<OutlineRect> rects{{1, 1, 2, 2}};
    const std::vector<uint8_t> good = block(32, 1, 1, one);
    EXPECT_FALSE(readOutline(nullptr, 48, rects));
    EXPECT_TRUE(rects.empty()) << "a refused block leaves no rectangles";
    EXPECT_FALSE(readOutline(good.data(), 31, rects)) << "shorter than its header";
    EXPECT_FALSE(readOutline(good.data(), 47, rects)) << "shorter than the rectangle it counts";
    EXPECT_FALSE(readOutline(block(40, 1, 1, one).data(), 48, rects)) << "another header size";
    EXPECT_FALSE(readOutline(block(32, 2, 1, one).data(), 48, rects)) << "not rectangles";
    // A count whose size in bytes would wrap a 32-bit product.
    EXPECT_FALSE(readOutline(block(32, 1, 0x10000001u, one).data(), 48, rects));
    EXPECT_TRUE(readOutline(good.data(), good.size(), rects));
    EXPECT_EQ(rects.size(), 1u);
}

}  // namespace
}  // namespace core::test
