#include "ahx/song.h"

#include <gtest/gtest.h>

#include <vector>

#include "ahx/song_image.h"

namespace {

using ahx::Song;
using Bytes = std::vector<uint8_t>;

int load(Song& song, const Bytes& bytes) {
    return ahx::loadSong(song, bytes.data(), int32_t(bytes.size()));
}

Bytes write(const Song& song) {
    return ahx::writeSongImage(ahx::imageOf(song));
}

// A header with one position, track length 1, tracks 0..highestTrack and no
// instruments; the string area is put right after it.
Bytes header(uint8_t byte6 = 0x00, uint8_t positions = 1, uint8_t trackLength = 1, uint8_t highestTrack = 0,
             uint8_t instruments = 0, uint8_t subsongs = 0) {
    return {'T', 'H', 'X', 1, 0, 0, byte6, positions, 0, 0, trackLength, highestTrack, instruments, subsongs};
}

void pointStringsAtEnd(Bytes& b) {
    b[4] = uint8_t(b.size() >> 8);
    b[5] = uint8_t(b.size() & 0xFF);
}

Song sampleSong() {
    Song s;
    s.title = "sample";
    s.version = 1;
    s.speedMultiplier = 2;
    s.restartPosition = 1;
    s.trackLength = 4;
    s.positions.resize(2);
    s.positions[1].track[2] = 1;
    s.positions[1].transpose[3] = -5;
    s.tracks.assign(2, std::vector<ahx::Step>(4));
    s.tracks[1][3] = {63, 26, 3, 127};
    s.instruments.resize(3);
    s.instruments[1].name = "bass";
    s.instruments[1].volume = 48;
    s.instruments[1].playlistSpeed = 3;
    s.instruments[1].playlist.resize(2);
    s.instruments[1].playlist[1] = {37, 1, 5, {5, 5}, {16, 32}};
    s.instruments[2].name = "lead";
    s.subsongs = {1};
    return s;
}

TEST(SongLoader, DecodesEveryPartOfAWrittenSong) {
    Bytes bytes = write(sampleSong());
    ASSERT_FALSE(bytes.empty());
    Song song;
    ASSERT_EQ(load(song, bytes), 1);
    EXPECT_EQ(song.title, "sample");
    EXPECT_EQ(song.version, 1);
    EXPECT_EQ(song.speedMultiplier, 2);
    EXPECT_EQ(song.restartPosition, 1);
    EXPECT_EQ(song.positionCount, 2);
    EXPECT_EQ(song.trackLength, 4);
    EXPECT_EQ(song.highestTrack, 1);
    EXPECT_EQ(song.instrumentCount, 2);
    ASSERT_EQ(song.subsongCount, 1);
    EXPECT_EQ(song.subsongs[0], 1);
    EXPECT_EQ(song.positions[1].track[2], 1);
    EXPECT_EQ(song.positions[1].transpose[3], -5);
    const ahx::Step& step = song.tracks[1][3];
    EXPECT_EQ(step.note, 63);
    EXPECT_EQ(step.instrument, 26);
    EXPECT_EQ(step.command, 3);
    EXPECT_EQ(step.parameter, 127);
    ASSERT_EQ(song.instruments.size(), 3u);
    EXPECT_EQ(song.instruments[1].name, "bass");
    EXPECT_EQ(song.instruments[2].name, "lead");
    EXPECT_EQ(song.instruments[1].volume, 48);
    EXPECT_EQ(song.instruments[1].playlistSpeed, 3);
    ASSERT_EQ(song.instruments[1].playlistLength, 2);
    const ahx::PlaylistEntry& e = song.instruments[1].playlist[1];
    EXPECT_EQ(e.commands[0], 5);
    EXPECT_EQ(e.commands[1], 5);
    EXPECT_EQ(e.waveform, 5);
    EXPECT_EQ(e.fixedNote, 1);
    EXPECT_EQ(e.note, 37);
    EXPECT_EQ(e.parameters[0], 16);
    EXPECT_EQ(e.parameters[1], 32);
}

TEST(SongLoader, DecodesPackedFieldsBitForBit) {
    // Header byte 6 = 0xE5, byte 7 = 0x10: track 0 omitted, multiplier 4,
    // 0x510 positions. Track 0 then reads as empty and the first stored
    // step belongs to track 1.
    Bytes b = header(0xE5, 0x10, 1, 1);
    b[8] = 0x12;
    b[9] = 0x34;
    for (int p = 0; p < 0x510; ++p) b.insert(b.end(), {0x01, 0xFF, 0xFF, 0x00, 0, 0, 0, 0});
    b.insert(b.end(), {0xFD, 0xA3, 0x7F});
    pointStringsAtEnd(b);
    b.insert(b.end(), {'t', 0});
    Song song;
    ASSERT_EQ(load(song, b), 1);
    EXPECT_EQ(song.speedMultiplier, 4);
    EXPECT_EQ(song.positionCount, 1296);
    EXPECT_EQ(song.restartPosition, 0x1234);
    EXPECT_EQ(song.positions[7].track[0], 1);
    EXPECT_EQ(song.positions[7].transpose[0], -1);
    EXPECT_EQ(song.positions[7].track[1], 255);
    EXPECT_EQ(song.tracks[0][0].note, 0);
    EXPECT_EQ(song.tracks[1][0].note, 63);
    EXPECT_EQ(song.tracks[1][0].instrument, 26);
    EXPECT_EQ(song.tracks[1][0].command, 3);
    EXPECT_EQ(song.tracks[1][0].parameter, 127);
}

TEST(SongLoader, DecodesInstrumentHeaderAndClampsVolumes) {
    Bytes b = header(0, 1, 1, 0, 1);
    b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0, 0});  // position 0
    b.insert(b.end(), {0, 0, 0});                 // track 0
    const Bytes instrument = {200, 0xFB, 3,  65,   5,  64, 7,  8,  255,  9,  9,
                              9,   0x81, 13, 0xD7, 15, 16, 17, 18, 0xFF, 20, 1};
    b.insert(b.end(), instrument.begin(), instrument.end());
    b.insert(b.end(), {0xB6, 0xE5, 0x10, 0x20});
    pointStringsAtEnd(b);
    b.insert(b.end(), {'s', 0, 'i', 'n', 's', 0});
    Song song;
    ASSERT_EQ(load(song, b), 1);
    const ahx::Instrument& ins = song.instruments[1];
    EXPECT_EQ(ins.name, "ins");
    EXPECT_EQ(ins.volume, 64);
    EXPECT_EQ(ins.filterSpeed, 63);
    EXPECT_EQ(ins.waveLength, 3);
    EXPECT_EQ(ins.attackFrames, 3);
    EXPECT_EQ(ins.attackVolume, 64);
    EXPECT_EQ(ins.decayFrames, 5);
    EXPECT_EQ(ins.decayVolume, 64);
    EXPECT_EQ(ins.sustainFrames, 7);
    EXPECT_EQ(ins.releaseFrames, 8);
    EXPECT_EQ(ins.releaseVolume, 64);
    EXPECT_EQ(ins.filterLowerLimit, 1);
    EXPECT_EQ(ins.vibratoDelay, 13);
    EXPECT_EQ(ins.hardCutRelease, 1);
    EXPECT_EQ(ins.hardCutReleaseFrames, 5);
    EXPECT_EQ(ins.vibratoDepth, 7);
    EXPECT_EQ(ins.vibratoSpeed, 15);
    EXPECT_EQ(ins.squareLowerLimit, 16);
    EXPECT_EQ(ins.squareUpperLimit, 17);
    EXPECT_EQ(ins.squareSpeed, 18);
    EXPECT_EQ(ins.filterUpperLimit, 63);
    EXPECT_EQ(ins.playlistSpeed, 20);
    EXPECT_EQ(ins.playlist[0].note, 37);
}

TEST(SongLoader, TakesWaveLengthsSixAndSevenAsFive) {
    Song s = sampleSong();
    s.instruments[1].waveLength = 6;
    s.instruments[2].waveLength = 7;
    Song song;
    ASSERT_EQ(load(song, write(s)), 1);
    EXPECT_EQ(song.instruments[1].waveLength, 5);
    EXPECT_EQ(song.instruments[2].waveLength, 5);
}

TEST(SongLoader, ReadsStringsOnlyInsideTheData) {
    Bytes b = header();
    b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    Song song;

    Bytes unterminated = b;
    pointStringsAtEnd(unterminated);
    unterminated.insert(unterminated.end(), {'a', 'b'});
    ASSERT_EQ(load(song, unterminated), 1);
    EXPECT_EQ(song.title, "ab");

    Bytes beyond = b;
    beyond[4] = 0xFF;
    beyond[5] = 0xFF;
    ASSERT_EQ(load(song, beyond), 1);
    EXPECT_EQ(song.title, "");

    Bytes atEnd = b;
    pointStringsAtEnd(atEnd);
    ASSERT_EQ(load(song, atEnd), 1);
    EXPECT_EQ(song.title, "");
}

TEST(SongLoader, NamesRunningPastTheEndAreCutThere) {
    Bytes b = write(sampleSong());
    b.resize(b.size() - 3);  // "lead\0" loses its last two letters and the zero
    Song song;
    ASSERT_EQ(load(song, b), 1);
    EXPECT_EQ(song.instruments[1].name, "bass");
    EXPECT_EQ(song.instruments[2].name, "le");
}

TEST(SongLoader, RejectsBadHeadersBeforeReadingContent) {
    const Bytes valid = write(sampleSong());
    Song song;
    ASSERT_EQ(load(song, valid), 1);

    EXPECT_EQ(ahx::loadSong(song, valid.data(), 13), 0);
    for (int i = 0; i < 3; ++i) {
        Bytes b = valid;
        b[size_t(i)] ^= 0x20;
        EXPECT_EQ(load(song, b), 0) << "magic byte " << i;
    }
    Bytes revision2 = valid;
    revision2[3] = 2;
    EXPECT_EQ(load(song, revision2), 0);
    EXPECT_EQ(song.version, 2);

    Bytes noPositions = valid;
    noPositions[6] &= 0xF0;
    noPositions[7] = 0;
    EXPECT_EQ(load(song, noPositions), 0);
    Bytes noSteps = valid;
    noSteps[10] = 0;
    EXPECT_EQ(load(song, noSteps), 0);
    EXPECT_EQ(ahx::loadSong(song, nullptr, 100), 0);
}

TEST(SongLoader, SizeOf65536IsRejectedButLargerPasses) {
    Bytes b = write(sampleSong());
    b.resize(65536, 0);
    Song song;
    EXPECT_EQ(load(song, b), 0);
    b.push_back(0);
    EXPECT_EQ(load(song, b), 1);
    EXPECT_EQ(song.title, "sample");
}

TEST(SongLoader, EveryTruncationIsRejectedWithinTheData) {
    const Bytes valid = write(sampleSong());
    const size_t stringArea = size_t(valid[4] << 8 | valid[5]);
    Song song;
    for (size_t size = 0; size < stringArea; ++size) {
        // A fresh copy of exactly `size` bytes lets AddressSanitizer catch any read past it.
        Bytes cut(valid.begin(), valid.begin() + std::ptrdiff_t(size));
        EXPECT_EQ(load(song, cut), 0) << size;
    }
}

TEST(SongLoader, RejectedLoadLeavesTheSongEmpty) {
    const Bytes valid = write(sampleSong());
    Song song;
    ASSERT_EQ(load(song, valid), 1);
    Bytes cut(valid.begin(), valid.begin() + 40);
    ASSERT_EQ(load(song, cut), 0);
    EXPECT_EQ(song.positionCount, 0);
    EXPECT_EQ(song.trackLength, 0);
    EXPECT_EQ(song.instrumentCount, 0);
    EXPECT_TRUE(song.positions.empty());
    EXPECT_TRUE(song.tracks.empty());
    EXPECT_TRUE(song.instruments.empty());
    EXPECT_TRUE(song.subsongs.empty());
    EXPECT_TRUE(song.title.empty());
}

TEST(SongLoader, ReloadReplacesEverythingThePreviousSongOwned) {
    Song big = sampleSong();
    big.tracks.assign(40, std::vector<ahx::Step>(4));
    big.instruments.resize(30);
    Song small = sampleSong();
    small.instruments.resize(2);
    small.subsongs.clear();

    Song song;
    ASSERT_EQ(load(song, write(big)), 1);
    ASSERT_EQ(load(song, write(small)), 1);
    EXPECT_EQ(song.tracks.size(), 2u);
    EXPECT_EQ(song.instruments.size(), 2u);
    EXPECT_EQ(song.subsongCount, 0);
    EXPECT_TRUE(song.subsongs.empty());
}

TEST(SongLoader, EmptyCountsReadNothing) {
    // Instrument count 0 reads no instrument data and no names.
    Bytes b = header();
    b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    pointStringsAtEnd(b);
    b.insert(b.end(), {'x', 0, 'y', 0});
    Song song;
    ASSERT_EQ(load(song, b), 1);
    EXPECT_EQ(song.instrumentCount, 0);
    EXPECT_EQ(song.instruments.size(), 1u);
}

TEST(SongLifecycle, ClearKeepsVersionAndMultiplierReleaseFreesAll) {
    Song song;
    ASSERT_EQ(load(song, write(sampleSong())), 1);
    ahx::clearSong(song);
    EXPECT_EQ(song.version, 1);
    EXPECT_EQ(song.speedMultiplier, 2);
    EXPECT_EQ(song.positionCount, 0);
    EXPECT_TRUE(song.tracks.empty());

    ASSERT_EQ(load(song, write(sampleSong())), 1);
    ahx::releaseSong(song);
    EXPECT_EQ(song.tracks.capacity(), 0u);
    EXPECT_EQ(song.instruments.capacity(), 0u);
}

}  // namespace
