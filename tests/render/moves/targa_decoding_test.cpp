// Targa decoding: which headers are refused, and the pixels of those taken.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/moves/targa.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An uncompressed true-colour image with its footer; byte b of pixel i
// holds i * 16 + b.
Bytes targaFile(uint16_t width, uint16_t height, uint8_t depth) {
    Bytes file = {0,
                  0,
                  2,
                  0,
                  0,
                  0,
                  0,
                  0,
                  0,
                  0,
                  0,
                  0,
                  uint8_t(width),
                  uint8_t(width >> 8),
                  uint8_t(height),
                  uint8_t(height >> 8),
                  depth,
                  0x08};
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        for (size_t b = 0; b < depth / 8u; ++b) file.push_back(uint8_t(i * 16 + b));
    }
    const char footer[26] = "\0\0\0\0\0\0\0\0TRUEVISION-XFILE.";
    file.insert(file.end(), footer, footer + sizeof footer);
    return file;
}

int decode(const Bytes& file, render::TargaImage& image, size_t size) {
    return render::decodeTarga(file.data(), uint32_t(size), image);
}
int decode(const Bytes& file, render::TargaImage& image) {
    return decode(file, image, file.size());
}

struct Refusal {
    const char* name;
    size_t offset;
    uint8_t value;
};

class TargaRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(TargaRefusal, AnswersZeroAndLeavesTheImage) {
    Bytes file = targaFile(4, 2, 32);
    file[GetParam().offset] = GetParam().value;
    render::TargaImage image;
    EXPECT_EQ(decode(file, image), 0);
    EXPECT_EQ(image.width, 0);
    EXPECT_TRUE(image.pixels.empty());
}

INSTANTIATE_TEST_SUITE_P(Headers, TargaRefusal,
                         ::testing::Values(Refusal{"RunLengthEncoded", 2, 10}, Refusal{"IdLengthOne", 0, 1},
                                           Refusal{"ColourMap", 1, 1}, Refusal{"ColourMapLength", 5, 16},
                                           Refusal{"XOrigin", 8, 1}, Refusal{"YOrigin", 11, 1},
                                           Refusal{"ZeroWidth", 12, 0}, Refusal{"ZeroHeight", 14, 0},
                                           Refusal{"Depth16", 16, 16}),
                         [](const ::testing::TestParamInfo<Refusal>& test) {
                             return std::string(test.param.name);
                         });

TEST(TargaSize, RefusesDataShorterThanHeaderAndAnnouncedPixels) {
    const Bytes file = targaFile(4, 2, 24);
    const size_t needed = 18 + 4 * 2 * 3;
    render::TargaImage image;
    EXPECT_EQ(decode(file, image, needed - 1), 0);
    EXPECT_EQ(decode(file, image, 17), 0);
    EXPECT_EQ(render::decodeTarga(nullptr, 0, image), 0) << "no resource at all";
    EXPECT_EQ(decode(file, image, needed), 1) << "the footer is not needed";
}

TEST(TargaPixels, TwentyFourBitsSwapFirstAndThirdByteOfEveryPixel) {
    render::TargaImage image;
    ASSERT_EQ(decode(targaFile(3, 2, 24), image), 1);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.bytesPerPixel, 3);
    const Bytes expected = {2, 1, 0, 18, 17, 16, 34, 33, 32, 50, 49, 48, 66, 65, 64, 82, 81, 80};
    EXPECT_EQ(image.pixels, expected);
}

TEST(TargaPixels, ThirtyTwoBitsKeepAlphaInPlaceAndStoredRowOrder) {
    Bytes file = targaFile(1, 2, 32);
    file[17] = 0x28;  // origin at the top left: not read, so shown upside down
    render::TargaImage image;
    ASSERT_EQ(decode(file, image), 1);
    EXPECT_EQ(image.bytesPerPixel, 4);
    EXPECT_EQ(image.pixels, (Bytes{2, 1, 0, 3, 18, 17, 16, 19}));
}

}  // namespace
