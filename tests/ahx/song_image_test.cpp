// The one reader and writer of AHX bytes: what is written reads back to the
// same bytes and loads, every image the loader accepts reads and writes
// back unchanged, and the writer refuses what the loader would reject.
#include "ahx/song_image.h"

#include <gtest/gtest.h>

#include <random>

#include "support/random_song_images.h"

namespace {

using Bytes = std::vector<uint8_t>;

int load(ahx::Song& song, const Bytes& bytes) {
    return ahx::loadSong(song, bytes.data(), int32_t(bytes.size()));
}

// Reads `bytes` and writes the result; answers what was written.
Bytes rewrite(const Bytes& bytes, ahx::SongImage& image) {
    std::string error;
    EXPECT_TRUE(ahx::readSongImage(bytes.data(), bytes.size(), image, &error)) << error;
    Bytes again = ahx::writeSongImage(image, &error);
    EXPECT_EQ(error, "");
    return again;
}

TEST(SongImage, WrittenImagesLoadAndReadBackToTheSameBytes) {
    std::mt19937 rng(20261207);
    for (int i = 0; i < 300; ++i) {
        const ahx::SongImage original = synthetic::randomSongImage(rng);
        std::string error;
        const Bytes bytes = ahx::writeSongImage(original, &error);
        ASSERT_FALSE(bytes.empty()) << "song " << i << ": " << error;
        EXPECT_EQ(bytes[6] >> 7, original.omitTrack0 ? 1 : 0);

        ahx::SongImage read;
        EXPECT_EQ(rewrite(bytes, read), bytes) << "song " << i;
        EXPECT_FALSE(read.strings.has_value());
        EXPECT_EQ(read.song.title, original.song.title);
        EXPECT_EQ(read.song.restartPosition, original.song.restartPosition);
        EXPECT_EQ(read.song.instruments.back().volume, original.song.instruments.back().volume);

        // The loader takes the same song, held to what the player can use.
        ahx::Song song;
        ASSERT_EQ(load(song, bytes), 1) << "song " << i;
        EXPECT_EQ(song.positionCount, original.song.positionCount);
        EXPECT_EQ(song.title, original.song.title);
        for (size_t k = 1; k < song.instruments.size(); ++k) {
            EXPECT_EQ(song.instruments[k].volume, std::min(original.song.instruments[k].volume, 64));
            EXPECT_EQ(song.instruments[k].waveLength, std::min(original.song.instruments[k].waveLength, 5));
            EXPECT_EQ(song.instruments[k].name, original.song.instruments[k].name);
        }
    }
}

TEST(SongImage, EveryLayoutTheLoaderAcceptsWritesBackUnchanged) {
    std::mt19937 rng(5);
    for (int i = 0; i < 40; ++i) {
        const Bytes usual = ahx::writeSongImage(synthetic::randomSongImage(rng));
        ASSERT_FALSE(usual.empty());
        int variant = 0;
        for (const Bytes& bytes : synthetic::unusualLayouts(usual)) {
            SCOPED_TRACE("song " + std::to_string(i) + " variant " + std::to_string(variant++));
            ahx::Song loaded;
            ASSERT_EQ(load(loaded, bytes), 1);
            ahx::SongImage image;
            EXPECT_EQ(rewrite(bytes, image), bytes);
            EXPECT_TRUE(image.strings.has_value());
            // The record names what the loader read.
            EXPECT_EQ(image.song.title, loaded.title);
            for (size_t k = 1; k < loaded.instruments.size(); ++k) {
                EXPECT_EQ(image.song.instruments[k].name, loaded.instruments[k].name);
            }
        }
    }
}

TEST(SongImage, WriterRefusesWhatTheLoaderRejectsOrTheFormatCannotHold) {
    std::mt19937 rng(11);
    const ahx::SongImage valid = synthetic::randomSongImage(rng);
    std::string error;
    auto refused = [&](const ahx::SongImage& image, const std::string& fragment) {
        error.clear();
        EXPECT_TRUE(ahx::writeSongImage(image, &error).empty()) << fragment;
        EXPECT_NE(error.find(fragment), std::string::npos) << error;
    };

    ahx::SongImage noPositions = valid;
    noPositions.song.positions.clear();
    noPositions.song.positionCount = 0;
    refused(noPositions, "no positions");

    ahx::SongImage noSteps = valid;
    noSteps.song.trackLength = 0;
    for (auto& track : noSteps.song.tracks) track.clear();
    refused(noSteps, "track length must be 1..255");

    ahx::SongImage omittedButNotEmpty = valid;
    omittedButNotEmpty.omitTrack0 = true;
    omittedButNotEmpty.song.tracks[0][0].note = 1;
    refused(omittedButNotEmpty, "track 0");

    ahx::SongImage huge = valid;
    huge.song.trackLength = 255;
    huge.song.tracks.assign(100, std::vector<ahx::Step>(255));
    huge.song.highestTrack = 99;
    refused(huge, "16-bit");

    ahx::SongImage miscounted = valid;
    miscounted.song.instrumentCount += 1;
    refused(miscounted, "instruments");

    ahx::SongImage wide = valid;
    wide.song.instruments.back().vibratoDepth = 16;
    refused(wide, "out of range");

    // Bytes of the string area that say another title than the record does.
    ahx::SongImage mismatch = valid;
    mismatch.strings = ahx::StringArea{0, {}};
    refused(mismatch, "title differs");

    // Exactly 65536 bytes, made by trailing bytes after the strings.
    const Bytes usual = ahx::writeSongImage(valid);
    ahx::SongImage padded;
    ASSERT_TRUE(ahx::readSongImage(usual.data(), usual.size(), padded));
    padded.strings =
        ahx::StringArea{int32_t(synthetic::stringAreaOf(usual)),
                        Bytes(usual.begin() + std::ptrdiff_t(synthetic::stringAreaOf(usual)), usual.end())};
    padded.strings->tail.resize(65536 - synthetic::stringAreaOf(usual), 0);
    refused(padded, "65536");
}

TEST(SongImage, ReaderNamesWhyAnImageIsNoSong) {
    const Bytes usual = ahx::writeSongImage(ahx::imageOf(ahx::Song{}));
    EXPECT_TRUE(usual.empty());  // no positions, no tracks: nothing to write

    std::mt19937 rng(3);
    const Bytes valid = ahx::writeSongImage(synthetic::randomSongImage(rng));
    ahx::SongImage image;
    std::string error;
    const struct {
        Bytes bytes;
        const char* fragment;
    } cases[] = {
        {Bytes(valid.begin(), valid.begin() + 13), "too short"},
        {Bytes(valid.begin(), valid.begin() + std::ptrdiff_t(synthetic::stringAreaOf(valid)) - 1),
         "cut short"},
        {Bytes{'T', 'H', 'Y', 1, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0}, "no \"THX\""},
        {Bytes{'T', 'H', 'X', 2, 0, 0, 0, 1, 0, 0, 1, 0, 0, 0}, "revision 2"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(ahx::readSongImage(c.bytes.data(), c.bytes.size(), image, &error)) << c.fragment;
        EXPECT_NE(error.find(c.fragment), std::string::npos) << error;
    }
    EXPECT_EQ(image.song.version, 2);
    EXPECT_FALSE(ahx::readSongImage(nullptr, 100, image));
}

}  // namespace
