#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <vector>

#include "resource_files.h"
#include "resource_ids.h"

namespace {

using namespace testing_resources;

constexpr int windowSize = 256;

struct Outline {
    Bytes bytes;
    Rect bounds{};
    std::vector<Rect> rects;
};

Outline loadOutline() {
    Outline outline;
    outline.bytes = embedded("SKINREGION", resources::kSkinRegionId);
    if (outline.bytes.size() < 32) {
        return outline;
    }
    outline.bounds = {readInt32(outline.bytes, 16), readInt32(outline.bytes, 20),
                      readInt32(outline.bytes, 24), readInt32(outline.bytes, 28)};
    int32_t count = readInt32(outline.bytes, 8);
    for (int32_t i = 0; i < count && 32 + size_t(i + 1) * 16 <= outline.bytes.size(); ++i) {
        size_t at = 32 + size_t(i) * 16;
        outline.rects.push_back({readInt32(outline.bytes, at), readInt32(outline.bytes, at + 4),
                                 readInt32(outline.bytes, at + 8), readInt32(outline.bytes, at + 12)});
    }
    return outline;
}

// How many rectangles cover each window pixel.
std::vector<int> coverCount(const std::vector<Rect>& rects) {
    std::vector<int> cover(windowSize * windowSize, 0);
    for (const Rect& r : rects) {
        for (int32_t y = std::max(r.top, 0); y < std::min(r.bottom, windowSize); ++y) {
            for (int32_t x = std::max(r.left, 0); x < std::min(r.right, windowSize); ++x) {
                ++cover[size_t(y * windowSize + x)];
            }
        }
    }
    return cover;
}

TEST(SkinOutline, HeaderDescribesTheWholeRectangleList) {
    Outline outline = loadOutline();
    ASSERT_GE(outline.bytes.size(), 32u);
    EXPECT_EQ(readInt32(outline.bytes, 0), 32);  // header size
    EXPECT_EQ(readInt32(outline.bytes, 4), 1);   // RDH_RECTANGLES
    int32_t count = readInt32(outline.bytes, 8);
    EXPECT_GT(count, 0);
    EXPECT_EQ(readInt32(outline.bytes, 12), count * 16);
    EXPECT_EQ(outline.bytes.size(), 32 + size_t(count) * 16);
}

TEST(SkinOutline, RectanglesAreSortedDisjointAndInsideTheWindow) {
    Outline outline = loadOutline();
    ASSERT_FALSE(outline.rects.empty());
    for (const Rect& r : outline.rects) {
        EXPECT_LT(r.left, r.right);
        EXPECT_LT(r.top, r.bottom);
        EXPECT_GE(r.left, 0);
        EXPECT_GE(r.top, 0);
        EXPECT_LE(r.right, windowSize);
        EXPECT_LE(r.bottom, windowSize);
    }
    EXPECT_TRUE(std::is_sorted(outline.rects.begin(), outline.rects.end(), [](const Rect& a, const Rect& b) {
        return std::tie(a.top, a.left) < std::tie(b.top, b.left);
    }));
    std::vector<int> cover = coverCount(outline.rects);
    EXPECT_LE(*std::max_element(cover.begin(), cover.end()), 1) << "rectangles overlap";
}

TEST(SkinOutline, BoundingBoxIsTheUnionOfTheRectangles) {
    Outline outline = loadOutline();
    ASSERT_FALSE(outline.rects.empty());
    Rect expected = outline.rects.front();
    for (const Rect& r : outline.rects) {
        expected.left = std::min(expected.left, r.left);
        expected.top = std::min(expected.top, r.top);
        expected.right = std::max(expected.right, r.right);
        expected.bottom = std::max(expected.bottom, r.bottom);
    }
    EXPECT_EQ(outline.bounds.left, expected.left);
    EXPECT_EQ(outline.bounds.top, expected.top);
    EXPECT_EQ(outline.bounds.right, expected.right);
    EXPECT_EQ(outline.bounds.bottom, expected.bottom);
}

TEST(SkinOutline, CoversEveryClickZoneButNotTheTopLeftCorner) {
    std::vector<int> cover = coverCount(loadOutline().rects);
    for (const Rect& zone : clickZones) {
        for (int32_t y = zone.top; y < zone.bottom; ++y) {
            for (int32_t x = zone.left; x < zone.right; ++x) {
                ASSERT_EQ(cover[size_t(y * windowSize + x)], 1) << "pixel " << x << "," << y;
            }
        }
    }
    EXPECT_EQ(cover[0], 0);
}

TEST(SkinOutline, ScanLinesWithTheSameRunsShareOneBand) {
    // Two vertically adjacent rectangles with the same columns are one band split in two.
    Outline outline = loadOutline();
    for (const Rect& a : outline.rects) {
        for (const Rect& b : outline.rects) {
            bool stacked = a.bottom == b.top && a.left == b.left && a.right == b.right;
            if (!stacked) {
                continue;
            }
            auto runsOf = [&](int32_t top) {
                std::vector<std::pair<int32_t, int32_t>> runs;
                for (const Rect& r : outline.rects) {
                    if (r.top == top) {
                        runs.emplace_back(r.left, r.right);
                    }
                }
                return runs;
            };
            EXPECT_NE(runsOf(a.top), runsOf(b.top)) << "band at " << a.top << " not merged with " << b.top;
        }
    }
}

}  // namespace
