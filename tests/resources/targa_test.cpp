#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "resource_files.h"
#include "resource_ids.h"

namespace {

using namespace testing_resources;

constexpr size_t headerSize = 18;
constexpr size_t footerSize = 26;

struct TargaCase {
    const char* type;
    int id;
    uint16_t size;
};

class TargaResource : public ::testing::TestWithParam<TargaCase> {};

TEST_P(TargaResource, IsUncompressed32BitBottomUpWithVersion2Footer) {
    const TargaCase& c = GetParam();
    Bytes tga = embedded(c.type, c.id);
    size_t pixels = size_t(c.size) * c.size * 4;
    ASSERT_EQ(tga.size(), headerSize + pixels + footerSize);

    const uint8_t leading[12] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(std::memcmp(tga.data(), leading, sizeof leading), 0);
    EXPECT_EQ(readUint16(tga, 12), c.size);
    EXPECT_EQ(readUint16(tga, 14), c.size);
    EXPECT_EQ(tga[16], 32);
    EXPECT_EQ(tga[17], 0x08);  // eight alpha bits, origin at the bottom left

    size_t footer = headerSize + pixels;
    EXPECT_EQ(readInt32(tga, footer), 0);
    EXPECT_EQ(readInt32(tga, footer + 4), 0);
    EXPECT_EQ(std::memcmp(tga.data() + footer + 8, "TRUEVISION-XFILE.\0", 18), 0);
}

INSTANTIATE_TEST_SUITE_P(SkinAndCorner, TargaResource,
                         ::testing::Values(TargaCase{"SKIN", resources::kSkinId, 256},
                                           TargaCase{"TGA", resources::kCornerId, 128}),
                         [](const ::testing::TestParamInfo<TargaCase>& test) {
                             return std::string(test.param.type);
                         });

// Alpha of a window pixel (y downwards) of a bottom-up 32-bit image.
uint8_t alphaAt(const Bytes& tga, int size, int x, int y) {
    return tga.at(headerSize + (size_t(size - 1 - y) * size_t(size) + size_t(x)) * 4 + 3);
}

bool insideOutline(const Bytes& outline, int x, int y) {
    int32_t count = readInt32(outline, 8);
    for (int32_t i = 0; i < count; ++i) {
        size_t at = 32 + size_t(i) * 16;
        if (x >= readInt32(outline, at) && y >= readInt32(outline, at + 4) &&
            x < readInt32(outline, at + 8) && y < readInt32(outline, at + 12)) {
            return true;
        }
    }
    return false;
}

TEST(SkinImage, AlphaAgreesWithTheOutline) {
    Bytes skin = embedded("SKIN", resources::kSkinId);
    Bytes outline = embedded("SKINREGION", resources::kSkinRegionId);
    ASSERT_EQ(skin.size(), headerSize + 256 * 256 * 4 + footerSize);
    ASSERT_GE(outline.size(), 32u);
    for (int y = 0; y < 256; ++y) {
        for (int x = 0; x < 256; ++x) {
            if (!insideOutline(outline, x, y)) {
                ASSERT_EQ(alphaAt(skin, 256, x, y), 0)
                    << "pixel " << x << "," << y << " lies outside the window";
            }
        }
    }
}

TEST(SkinImage, ButtonsAreOpaqueAndTheScreenIsClear) {
    Bytes skin = embedded("SKIN", resources::kSkinId);
    ASSERT_EQ(skin.size(), headerSize + 256 * 256 * 4 + footerSize);
    for (const Rect& zone : clickZones) {
        for (int y = zone.top; y < zone.bottom; ++y) {
            for (int x = zone.left; x < zone.right; ++x) {
                ASSERT_EQ(alphaAt(skin, 256, x, y), 255) << "pixel " << x << "," << y;
            }
        }
    }
    // The middle of the title list and the place where the selected title comes to rest.
    EXPECT_EQ(alphaAt(skin, 256, 128, 120), 0);
    EXPECT_EQ(alphaAt(skin, 256, 160, 198), 0);
    // The cube's viewport sits on solid skin.
    EXPECT_EQ(alphaAt(skin, 256, 39, 213), 255);
}

TEST(CornerImage, LeavesMostOfTheScreenClear) {
    Bytes corner = embedded("TGA", resources::kCornerId);
    ASSERT_EQ(corner.size(), headerSize + 128 * 128 * 4 + footerSize);
    int clear = 0;
    for (int y = 0; y < 128; ++y) {
        for (int x = 0; x < 128; ++x) {
            clear += alphaAt(corner, 128, x, y) == 0 ? 1 : 0;
        }
    }
    // The corner image lies over the lower right of the title list.
    EXPECT_GT(clear, 128 * 128 * 9 / 10);
}

}  // namespace
