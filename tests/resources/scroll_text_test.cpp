#include <gtest/gtest.h>

#include <algorithm>

#include "resource_files.h"

namespace {

using namespace testing_resources;

TEST(ScrollText, Is965DrawableCharactersEndingInAGapOf15Spaces) {
    std::optional<Bytes> text = readSourceFile("scroll_text.txt");
    ASSERT_TRUE(text.has_value());
    ASSERT_EQ(text->size(), 965u) << "no trailing newline either";
    // Only codes 32 to 122 have glyphs on the ring.
    auto undrawable = std::find_if(text->begin(), text->end(), [](uint8_t c) { return c < 32 || c > 122; });
    EXPECT_EQ(undrawable, text->end())
        << "code " << int(*undrawable) << " at " << (undrawable - text->begin());
    EXPECT_TRUE(std::all_of(text->end() - 15, text->end(), [](uint8_t c) { return c == ' '; }));
    EXPECT_NE(text->at(text->size() - 16), ' ') << "the gap before the message repeats is exactly 15 spaces";
}

}  // namespace
