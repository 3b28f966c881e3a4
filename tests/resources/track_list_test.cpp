#include "app/track_list.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

TEST(TrackList, ResourceIdsAreTheSongsInDiskOrder) {
    const int32_t expected[] = {126, 127, 128, 129, 130, 131, 132, 136, 137, 139};
    ASSERT_EQ(app::trackCount, 10);
    for (int32_t i = 0; i < app::trackCount; ++i) {
        EXPECT_EQ(app::trackResourceIds[i], expected[i]) << "track " << i;
    }
}

// Each title becomes one line of bold 16-pixel text centred in a 256-pixel wide
// texture, drawn by a text drawer that treats '&' as a mnemonic prefix.
TEST(TrackList, TitlesAreShortDistinctLinesOfPlainText) {
    std::set<std::string> seen;
    for (int32_t i = 0; i < app::trackCount; ++i) {
        const char* title = app::trackTitles[i];
        ASSERT_NE(title, nullptr) << "track " << i;
        size_t length = std::strlen(title);
        EXPECT_GT(length, 0u) << "track " << i;
        EXPECT_LE(length, 28u) << "track " << i << " would not fit its texture: " << title;
        for (size_t k = 0; k < length; ++k) {
            unsigned char c = static_cast<unsigned char>(title[k]);
            EXPECT_TRUE(c >= 32 && c <= 126) << "track " << i << " has code " << int(c);
            EXPECT_NE(c, '&') << "track " << i << ": the text drawer would swallow the ampersand";
        }
        EXPECT_TRUE(seen.insert(title).second) << "title repeated: " << title;
    }
}

}  // namespace
