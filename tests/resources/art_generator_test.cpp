#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "resource_files.h"

namespace {

using namespace testing_resources;

// The committed images, outline and icon are exactly what the generator draws,
// so that changing one by hand (or the generator without re-running it) is caught.
TEST(ArtGenerator, ReproducesTheCommittedFiles) {
    const char* python = "/usr/bin/python3";
    if (access(python, X_OK) != 0) {
        GTEST_SKIP() << python << " is not installed";
    }
    std::string dir = (std::filesystem::temp_directory_path() / "veltrane-art-XXXXXX").string();
    ASSERT_NE(mkdtemp(dir.data()), nullptr);
    std::string command =
        std::string(python) + " " + VELTRANE_RESOURCES_DIR + "/art/make_art.py " + dir + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const char* name : {"skin.tga", "corner.tga", "skin.rgn", "icon.ico"}) {
        std::optional<Bytes> made = readFile(dir + "/" + name);
        std::optional<Bytes> committed = readSourceFile(std::string("art/") + name);
        ASSERT_TRUE(made.has_value()) << name;
        ASSERT_TRUE(committed.has_value()) << name;
        EXPECT_TRUE(*made == *committed) << name << " differs from what make_art.py draws";
    }
    std::filesystem::remove_all(dir);
}

}  // namespace
