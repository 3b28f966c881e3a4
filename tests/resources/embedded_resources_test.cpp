#include "resources/embedded_resources.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "core/track_list.h"
#include "resource_files.h"

namespace {

using namespace testing_resources;

TEST(EmbeddedResources, ArtMatchesTheFilesItWasBuiltFrom) {
    struct Case {
        const char* type;
        int id;
        const char* file;
    };
    for (const Case& c : {Case{"SKIN", 101, "art/skin.tga"}, Case{"TGA", 109, "art/corner.tga"},
                          Case{"SKINREGION", 111, "art/skin.rgn"}, Case{"ICON", 135, "art/icon.ico"}}) {
        std::optional<Bytes> file = readSourceFile(c.file);
        ASSERT_TRUE(file.has_value()) << c.file;
        EXPECT_EQ(embedded(c.type, c.id), *file) << c.type << " " << c.id;
    }
}

TEST(EmbeddedResources, EveryTrackHasItsSong) {
    int missing = 0;
    for (int32_t i = 0; i < core::trackCount; ++i) {
        char file[32];
        std::snprintf(file, sizeof file, "songs/track%02d.ahx", int(i + 1));
        std::optional<Bytes> song = readSourceFile(file);
        if (!song) {
            ++missing;
            continue;
        }
        Bytes resource = embedded("AHX", core::trackResourceIds[i]);
        EXPECT_EQ(resource, *song) << file;
        ASSERT_GE(resource.size(), 3u) << file;
        EXPECT_EQ(std::string(resource.begin(), resource.begin() + 3), "THX") << file;
    }
    if (missing > 0) {
        GTEST_SKIP() << missing << " song files are not in the tree yet";
    }
}

TEST(EmbeddedResources, UnknownTypeOrIdFindsNothing) {
    size_t size = 1234;
    EXPECT_EQ(resources::findResource("AHX", 101, &size), nullptr);  // the skin's id under another type
    EXPECT_EQ(size, 0u);
    size = 1234;
    EXPECT_EQ(resources::findResource("SKIN", 102, &size), nullptr);
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(resources::findResource("SKI", 101, nullptr), nullptr);
    EXPECT_EQ(resources::findResource("", 0, nullptr), nullptr);
    EXPECT_NE(resources::findResource("SKIN", 101, nullptr), nullptr);
}

TEST(EmbeddedResources, IconHoldsOne32By32Image) {
    Bytes ico = embedded("ICON", 135);
    ASSERT_GE(ico.size(), 6u + 16u + 40u);
    EXPECT_EQ(readUint16(ico, 0), 0);  // reserved
    EXPECT_EQ(readUint16(ico, 2), 1);  // icon
    EXPECT_EQ(readUint16(ico, 4), 1);  // one image
    EXPECT_EQ(ico[6], 32);
    EXPECT_EQ(ico[7], 32);
    int32_t imageSize = readInt32(ico, 6 + 8);
    int32_t imageOffset = readInt32(ico, 6 + 12);
    EXPECT_EQ(size_t(imageOffset) + size_t(imageSize), ico.size());
    EXPECT_EQ(readInt32(ico, size_t(imageOffset)), 40);        // bitmap header size
    EXPECT_EQ(readInt32(ico, size_t(imageOffset) + 8), 64);    // colour and mask rows
    EXPECT_EQ(readUint16(ico, size_t(imageOffset) + 14), 32);  // bits per pixel
}

}  // namespace
