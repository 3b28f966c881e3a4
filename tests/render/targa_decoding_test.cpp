// Targa decoding: which headers are refused, and the pixels of those taken.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "render/targa.h"
#include "resources/program_resources.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An uncompressed true-colour image with the 26-byte footer; pixel i has
// bytes i*16 + 0, 1, 2(, 3).
Bytes targaFile(uint16_t width, uint16_t height, uint8_t depth) {
    Bytes file = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                  uint8_t(width), uint8_t(width >> 8), uint8_t(height), uint8_t(height >> 8), depth, 0x08};
    const size_t bytesPerPixel = depth / 8;
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        for (size_t b = 0; b < bytesPerPixel; ++b) file.push_back(uint8_t(i * 16 + b));
    }
    const char signature[] = "TRUEVISION-XFILE.";
    file.insert(file.end(), 8, 0);
    file.insert(file.end(), signature, signature + sizeof signature);
    return file;
}

int decode(const Bytes& file, render::TargaImage& image) {
    return render::decodeTarga(file.data(), uint32_t(file.size()), image);
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
    image.width = 7;
    EXPECT_EQ(decode(file, image), 0);
    EXPECT_EQ(image.width, 7);
    EXPECT_TRUE(image.pixels.empty());
}

INSTANTIATE_TEST_SUITE_P(Headers, TargaRefusal,
                         ::testing::Values(Refusal{"RunLengthEncoded", 2, 10}, Refusal{"IdLengthOne", 0, 1},
                                           Refusal{"ColourMapType", 1, 1}, Refusal{"ColourMapLength", 5, 16},
                                           Refusal{"ColourMapEntrySize", 7, 24}, Refusal{"XOrigin", 8, 1},
                                           Refusal{"YOrigin", 11, 1}, Refusal{"ZeroWidth", 12, 0},
                                           Refusal{"ZeroHeight", 14, 0}, Refusal{"Depth16", 16, 16},
                                           Refusal{"Depth8", 16, 8}),
                         [](const ::testing::TestParamInfo<Refusal>& test) { return std::string(test.param.name); });

TEST(TargaSize, RefusesDataShorterThanThePixelsAnnounced) {
    render::TargaImage image;
    // The footer is not needed: header plus pixels is enough.
    Bytes exact = targaFile(4, 2, 24);
    exact.resize(18 + 4 * 2 * 3);
    EXPECT_EQ(decode(exact, image), 1);

    Bytes oneShort = exact;
    oneShort.pop_back();
    EXPECT_EQ(decode(oneShort, image = {}), 0);

    // A header announcing 65535 x 65535 pixels of a small resource.
    Bytes huge = targaFile(1, 1, 32);
    huge[12] = huge[13] = huge[14] = huge[15] = 0xFF;
    EXPECT_EQ(decode(huge, image), 0);
}

TEST(TargaSize, RefusesLessThanAHeaderAndNoResourceAtAll) {
    const Bytes file = targaFile(1, 1, 32);
    render::TargaImage image;
    EXPECT_EQ(render::decodeTarga(file.data(), 17, image), 0);
    EXPECT_EQ(render::decodeTarga(nullptr, 0, image), 0);
}

TEST(TargaPixels, TwentyFourBitsSwapFirstAndThirdByteOfEveryPixel) {
    render::TargaImage image;
    ASSERT_EQ(decode(targaFile(3, 2, 24), image), 1);
    EXPECT_EQ(image.width, 3);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.bytesPerPixel, 3);
    ASSERT_EQ(image.pixels.size(), 18u);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(image.pixels[i * 3 + 0], i * 16 + 2) << "pixel " << i;
        EXPECT_EQ(image.pixels[i * 3 + 1], i * 16 + 1) << "pixel " << i;
        EXPECT_EQ(image.pixels[i * 3 + 2], i * 16 + 0) << "pixel " << i;
    }
}

TEST(TargaPixels, ThirtyTwoBitsKeepAlphaInPlace) {
    render::TargaImage image;
    ASSERT_EQ(decode(targaFile(2, 3, 32), image), 1);
    EXPECT_EQ(image.bytesPerPixel, 4);
    ASSERT_EQ(image.pixels.size(), 24u);
    for (size_t i = 0; i < 6; ++i) {
        const uint8_t expected[4] = {uint8_t(i * 16 + 2), uint8_t(i * 16 + 1), uint8_t(i * 16), uint8_t(i * 16 + 3)};
        for (size_t b = 0; b < 4; ++b) EXPECT_EQ(image.pixels[i * 4 + b], expected[b]) << "pixel " << i;
    }
}

TEST(TargaPixels, ATopLeftOriginIsTakenInStoredRowOrder) {
    Bytes file = targaFile(1, 2, 32);
    file[17] = 0x28;
    render::TargaImage image;
    ASSERT_EQ(decode(file, image), 1);
    EXPECT_EQ(image.pixels[0], 2);
    EXPECT_EQ(image.pixels[4], 16 + 2);
}

TEST(TargaResources, SkinAndCornerImageAreTaken) {
    struct Carried {
        const char* type;
        int32_t id;
        int32_t size;
    };
    for (const Carried& carried : {Carried{"SKIN", 101, 256}, Carried{"TGA", 109, 128}}) {
        const resources::ResourceData resource = resources::findProgramResource(carried.type, carried.id);
        render::TargaImage image;
        ASSERT_EQ(render::decodeTarga(resource.bytes, resource.size, image), 1) << carried.type;
        EXPECT_EQ(image.width, carried.size);
        EXPECT_EQ(image.height, carried.size);
        EXPECT_EQ(image.bytesPerPixel, 4);
    }
}

}  // namespace
