// The ten tunes of the musicdisk: each text source compiles to the song file
// that ships, and every song keeps to what the disk promises.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "ahx/song.h"
#include "song_text/song_text.h"

namespace {

constexpr int kTunes = 10;

std::string songPath(int number, const char* extension) {
    char name[32];
    std::snprintf(name, sizeof name, "/track%02d.%s", number, extension);
    return std::string(SONGS_DIR) + name;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in) << path;
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<uint8_t> readBytes(const std::string& path) {
    const std::string text = readText(path);
    return {text.begin(), text.end()};
}

// The third column of the track table, in disk order.
std::vector<std::string> titles() {
    std::vector<std::string> lines;
    std::ifstream in(std::string(SONGS_DIR) + "/tracks.txt");
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        size_t tab = line.rfind('\t');
        lines.push_back(tab == std::string::npos ? line : line.substr(tab + 1));
    }
    return lines;
}

// Seconds of the first pass through the positions, following the tempo
// commands step by step (the tunes use no jumps, which the test checks).
double firstPassSeconds(const ahx::Song& song) {
    int32_t tempo = 6;
    int64_t frames = 0;
    for (const ahx::Position& p : song.positions) {
        for (int32_t step = 0; step < song.trackLength; ++step) {
            for (int k = 0; k < ahx::kChannels; ++k) {
                const ahx::Step& s = song.tracks[size_t(p.track[k])][size_t(step)];
                EXPECT_NE(s.command, 0xB);
                EXPECT_NE(s.command, 0xD);
                if (s.command == 0xF) tempo = s.parameter;
            }
            frames += tempo;
        }
    }
    return double(frames) / 50.0;
}

class Tune : public testing::TestWithParam<int> {};

TEST_P(Tune, SourceCompilesToTheShippedSong) {
    const std::string source = songPath(GetParam(), "ahxt");
    ahx::SongImage file;
    tools::SongTextError error;
    std::vector<tools::SongTextError> warnings;
    ASSERT_TRUE(tools::parseSongText(readText(source), file, error, &warnings))
        << tools::describeSongTextError(source, error);
    EXPECT_TRUE(warnings.empty());
    std::string encodeError;
    const std::vector<uint8_t> compiled = ahx::writeSongImage(file, &encodeError);
    ASSERT_EQ(encodeError, "");
    EXPECT_TRUE(compiled == readBytes(songPath(GetParam(), "ahx")))
        << "recompile with: ahx compile " << source << " -o " << songPath(GetParam(), "ahx");
}

TEST_P(Tune, DecompilesAndCompilesBackByteForByte) {
    const std::vector<uint8_t> bytes = readBytes(songPath(GetParam(), "ahx"));
    ahx::SongImage decoded, parsed;
    std::string error;
    ASSERT_TRUE(ahx::readSongImage(bytes.data(), bytes.size(), decoded, &error)) << error;
    EXPECT_FALSE(decoded.strings.has_value());
    tools::SongTextError textError;
    ASSERT_TRUE(tools::parseSongText(tools::printSongText(decoded), parsed, textError)) << textError.message;
    EXPECT_TRUE(ahx::writeSongImage(parsed, &error) == bytes);
}

TEST_P(Tune, KeepsToTheDisksLimits) {
    const std::vector<uint8_t> bytes = readBytes(songPath(GetParam(), "ahx"));
    EXPECT_GE(bytes.size(), 1420u);
    EXPECT_LE(bytes.size(), 7203u);

    ahx::Song song;
    ASSERT_EQ(ahx::loadSong(song, bytes.data(), int32_t(bytes.size())), 1);
    EXPECT_EQ(song.version, 1);
    EXPECT_EQ(song.speedMultiplier, 1);
    EXPECT_EQ(song.subsongCount, 0);
    EXPECT_LT(song.restartPosition, song.positionCount);

    const std::vector<std::string> names = titles();
    ASSERT_EQ(names.size(), size_t(kTunes));
    EXPECT_EQ(song.title, names[size_t(GetParam() - 1)]);

    // Every channel plays notes somewhere, through tracks that exist.
    for (int k = 0; k < ahx::kChannels; ++k) {
        int notes = 0;
        for (const ahx::Position& p : song.positions) {
            ASSERT_LE(p.track[k], song.highestTrack);
            for (const ahx::Step& s : song.tracks[size_t(p.track[k])]) {
                notes += s.note != 0;
                EXPECT_LE(s.instrument, song.instrumentCount);
            }
        }
        EXPECT_GT(notes, 0) << "channel " << k;
    }
    EXPECT_GE(firstPassSeconds(song), 60.0);
}

INSTANTIATE_TEST_SUITE_P(Disk, Tune, testing::Range(1, kTunes + 1));

// How wide a title may be is measured by the pack checker, in pixels of the
// title list's texture; a count of characters would only guess at it.
TEST(Disk, TitlesAreDistinctAscii) {
    const std::vector<std::string> names = titles();
    ASSERT_EQ(names.size(), size_t(kTunes));
    std::set<std::string> seen;
    for (const std::string& title : names) {
        EXPECT_FALSE(title.empty());
        for (char c : title) EXPECT_TRUE(c >= 0x20 && c < 0x7F) << title;
        EXPECT_TRUE(seen.insert(title).second) << title;
    }
}

TEST(Disk, HalfTheSongsLeaveTrackZeroOut) {
    int omitted = 0;
    for (int n = 1; n <= kTunes; ++n) {
        const std::vector<uint8_t> bytes = readBytes(songPath(n, "ahx"));
        ASSERT_GT(bytes.size(), 6u);
        omitted += (bytes[6] & 0x80) != 0;
    }
    EXPECT_EQ(omitted, 5);
}

}  // namespace
