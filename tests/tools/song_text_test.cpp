#include "tools/song_text/song_text.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

using tools::SongFile;

// A song with every field, the bits players ignore included, at a random
// value within its stored width.
SongFile randomSongFile(std::mt19937& rng) {
    auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    auto text = [&](int maxLength) {
        std::string s(size_t(pick(0, maxLength)), ' ');
        for (char& c : s) c = char(pick(1, 255));
        return s;
    };
    SongFile f;
    ahx::Song& s = f.song;
    s.title = text(30);
    s.version = pick(0, 1);
    s.speedMultiplier = pick(1, 4);
    s.restartPosition = pick(0, 65535);
    s.trackLength = pick(0, 3) == 0 ? pick(0, 255) : pick(1, 64);
    f.unusedHeaderBit = uint8_t(pick(0, 1));
    s.subsongs.resize(size_t(pick(0, 1) ? pick(0, 5) : 0));
    for (int32_t& start : s.subsongs) start = pick(0, 65535);
    s.positions.resize(size_t(pick(0, 60)));
    for (ahx::Position& p : s.positions) {
        for (int k = 0; k < ahx::kChannels; ++k) {
            p.track[k] = pick(0, 255);
            p.transpose[k] = pick(-128, 127);
        }
    }
    s.tracks.resize(size_t(pick(1, 12)));
    for (std::vector<ahx::Step>& t : s.tracks) {
        t.resize(size_t(s.trackLength));
        const bool sparse = pick(0, 1);
        for (ahx::Step& st : t) {
            if (sparse && pick(0, 3)) continue;
            st = {pick(0, 63), pick(0, 63), pick(0, 15), pick(0, 255)};
        }
    }
    f.omitTrack0 = pick(0, 1);
    if (f.omitTrack0 || pick(0, 3) == 0) s.tracks[0].assign(size_t(s.trackLength), ahx::Step{});
    s.instruments.resize(size_t(pick(1, 10)));
    f.unusedBits.resize(s.instruments.size());
    for (size_t i = 1; i < s.instruments.size(); ++i) {
        ahx::Instrument& in = s.instruments[i];
        in.name = text(12);
        for (int32_t* v :
             {&in.volume, &in.attackFrames, &in.attackVolume, &in.decayFrames, &in.decayVolume,
              &in.sustainFrames, &in.releaseFrames, &in.releaseVolume, &in.vibratoDelay, &in.vibratoSpeed,
              &in.squareLowerLimit, &in.squareUpperLimit, &in.squareSpeed, &in.playlistSpeed})
            *v = pick(0, 255);
        in.waveLength = pick(0, 7);
        in.filterLowerLimit = pick(0, 127);
        in.filterUpperLimit = pick(0, 63);
        in.filterSpeed = pick(0, 63);
        in.vibratoDepth = pick(0, 15);
        in.hardCutRelease = pick(0, 1);
        in.hardCutReleaseFrames = pick(0, 7);
        if (pick(0, 1)) {
            for (uint8_t& b : f.unusedBits[i].bytes) b = uint8_t(pick(0, 255));
            f.unusedBits[i].filterUpperHighBits = uint8_t(pick(0, 3));
        }
        in.playlist.resize(size_t(pick(0, 3) == 0 ? pick(0, 255) : pick(0, 16)));
        in.playlistLength = int32_t(in.playlist.size());
        for (ahx::PlaylistEntry& e : in.playlist)
            e = {pick(0, 63), pick(0, 1), pick(0, 7), {pick(0, 7), pick(0, 7)}, {pick(0, 255), pick(0, 255)}};
    }
    s.positionCount = int32_t(s.positions.size());
    s.highestTrack = int32_t(s.tracks.size()) - 1;
    s.instrumentCount = int32_t(s.instruments.size()) - 1;
    s.subsongCount = int32_t(s.subsongs.size());
    return f;
}

std::vector<uint8_t> encode(const SongFile& f) {
    std::string error;
    std::vector<uint8_t> bytes = tools::encodeSongFile(f, error);
    EXPECT_EQ(error, "");
    return bytes;
}

// What `ahx decompile` then `ahx compile` do to a file image.
std::vector<uint8_t> throughText(const std::vector<uint8_t>& bytes, std::string* text = nullptr) {
    SongFile decoded;
    std::string error;
    if (!tools::decodeSongFile(bytes, decoded, error)) {
        ADD_FAILURE() << "decode: " << error;
        return {};
    }
    const std::string printed = tools::printSongText(decoded);
    if (text) *text = printed;
    SongFile parsed;
    tools::SongTextError textError;
    if (!tools::parseSongText(printed, parsed, textError)) {
        ADD_FAILURE() << "line " << textError.line << ": " << textError.message;
        return {};
    }
    return encode(parsed);
}

SongFile parse(std::string_view text) {
    SongFile f;
    tools::SongTextError error;
    EXPECT_TRUE(tools::parseSongText(text, f, error)) << "line " << error.line << ": " << error.message;
    return f;
}

tools::SongTextError parseError(std::string_view text) {
    SongFile f;
    tools::SongTextError error;
    EXPECT_FALSE(tools::parseSongText(text, f, error));
    return error;
}

TEST(SongTextRoundTrip, RandomSongsComeBackByteForByte) {
    std::mt19937 rng(20261207);
    for (int i = 0; i < 200; ++i) {
        const std::vector<uint8_t> bytes = encode(randomSongFile(rng));
        ASSERT_FALSE(bytes.empty());
        std::string text;
        ASSERT_EQ(throughText(bytes, &text), bytes) << "song " << i << ":\n" << text;
    }
}

TEST(SongTextRoundTrip, EveryStepAndPlaylistBitPattern) {
    // Steps whose first two bytes take every value, each byte on its own,
    // and playlist rows whose first byte does.
    SongFile f;
    f.song.trackLength = 255;
    f.song.tracks.resize(64);
    for (int i = 0; i < 64 * 255; ++i) {
        const int b0 = i & 255, b1 = (i / 64 + i) & 255;
        f.song.tracks[size_t(i / 255)].push_back({b0 >> 2, (b0 & 3) << 4 | b1 >> 4, b1 & 15, (i * 7) & 255});
    }
    f.song.highestTrack = 63;
    f.song.instruments.resize(2);
    f.unusedBits.resize(2);
    for (int b = 0; b < 255; ++b) {
        f.song.instruments[1].playlist.push_back(
            {b & 63, (b >> 6) & 1, b >> 5, {b & 7, (b >> 3) & 7}, {b, 255 - b}});
    }
    f.song.instruments[1].playlistLength = 255;
    f.song.instrumentCount = 1;
    const std::vector<uint8_t> bytes = encode(f);
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(throughText(bytes), bytes);
}

TEST(SongTextParse, ReadsEveryNotation) {
    const SongFile f = parse(R"(# a comment line
title "Tab\x09quote\" back\\slash"   # trailing comment
revision 0
speed-multiplier 3
restart 2
track-length 3
track-0 omitted
subsongs 1 2
unused-header-bit 1
positions
    0   1 +0   2 -12   255 127   0 -128
track 0 empty
track 1
    0 C-1 01 F06
    1 D-6 63 C40
    2 --- -- 000
instrument 1 "Lead"
    volume 48
    wave-length 7
    attack 1 64
    decay 2 40
    sustain 3
    release 4 0
    filter 127 63 63
    square 16 48 2
    vibrato 6 15 24
    hard-cut 7 release
    unused-bytes 0A ff 00
    unused-filter-bits 3
    playlist 2
        0 sqr +0  420 000
        1 ---  +12 7FF 5AB
        2 tri =C-4 000 000
        3 7   =--- 000 000
        4 noi ---  000 000
)");
    const ahx::Song& s = f.song;
    EXPECT_EQ(s.title, "Tab\tquote\" back\\slash");
    EXPECT_EQ(s.version, 0);
    EXPECT_EQ(s.speedMultiplier, 3);
    EXPECT_EQ(s.restartPosition, 2);
    EXPECT_TRUE(f.omitTrack0);
    EXPECT_EQ(f.unusedHeaderBit, 1);
    EXPECT_EQ(s.subsongs, (std::vector<int32_t>{1, 2}));
    ASSERT_EQ(s.positionCount, 1);
    EXPECT_EQ(s.positions[0].track[2], 255);
    EXPECT_EQ(s.positions[0].transpose[1], -12);
    EXPECT_EQ(s.positions[0].transpose[3], -128);
    ASSERT_EQ(s.highestTrack, 1);
    EXPECT_EQ(s.tracks[0].size(), 3u);
    const ahx::Step& first = s.tracks[1][0];
    EXPECT_EQ(first.note, 1);
    EXPECT_EQ(first.instrument, 1);
    EXPECT_EQ(first.command, 0xF);
    EXPECT_EQ(first.parameter, 6);
    EXPECT_EQ(s.tracks[1][1].note, 63);
    EXPECT_EQ(s.tracks[1][1].instrument, 63);
    EXPECT_EQ(s.tracks[1][1].parameter, 0x40);
    ASSERT_EQ(s.instrumentCount, 1);
    const ahx::Instrument& in = s.instruments[1];
    EXPECT_EQ(in.name, "Lead");
    EXPECT_EQ(in.waveLength, 7);
    EXPECT_EQ(in.releaseFrames, 4);
    EXPECT_EQ(in.filterLowerLimit, 127);
    EXPECT_EQ(in.vibratoDepth, 15);
    EXPECT_EQ(in.hardCutRelease, 1);
    EXPECT_EQ(in.hardCutReleaseFrames, 7);
    EXPECT_EQ(f.unusedBits[1].bytes[1], 0xFF);
    EXPECT_EQ(f.unusedBits[1].filterUpperHighBits, 3);
    EXPECT_EQ(in.playlistSpeed, 2);
    ASSERT_EQ(in.playlistLength, 5);
    EXPECT_EQ(in.playlist[0].waveform, 3);
    EXPECT_EQ(in.playlist[0].note, 1);  // +0: the step's own note
    EXPECT_EQ(in.playlist[0].commands[0], 4);
    EXPECT_EQ(in.playlist[0].parameters[0], 0x20);
    EXPECT_EQ(in.playlist[1].note, 13);
    EXPECT_EQ(in.playlist[1].commands[0], 7);
    EXPECT_EQ(in.playlist[1].parameters[0], 0xFF);
    EXPECT_EQ(in.playlist[1].commands[1], 5);
    EXPECT_EQ(in.playlist[1].parameters[1], 0xAB);
    EXPECT_EQ(in.playlist[2].note, 37);
    EXPECT_EQ(in.playlist[2].fixedNote, 1);
    EXPECT_EQ(in.playlist[3].waveform, 7);
    EXPECT_EQ(in.playlist[3].note, 0);
    EXPECT_EQ(in.playlist[3].fixedNote, 1);
    EXPECT_EQ(in.playlist[4].waveform, 4);
}

TEST(SongTextParse, MistakesNameTheirLine) {
    const std::string head = "track-length 2\n";
    struct Case {
        std::string text;
        int line;
        std::string fragment;
    };
    const Case cases[] = {
        {head + "volume 3\n", 2, "unknown keyword"},
        {head + "track 0\n    0 H-3 01 000\n", 3, "note"},
        {head + "track 0\n    0 C-3 64 000\n", 3, "instrument must be 0..63"},
        {head + "track 0\n    0 C-3 01 0G0\n", 3, "hex"},
        {head + "track 0\n    1 C-3 01 000\n", 3, "row 1 where row 0"},
        {head + "track 0\n    0 C-3 01 000\n\ntrack 1 empty\n", 2, "track 0 has 1 rows"},
        {head + "track 0\n    0 C-3 01 000\n    1 C-3 01 000\n    2 C-3 01 000\n", 5,
         "more than track-length"},
        {head + "track 1 empty\n", 2, "next track must be 0"},
        {"track 0 empty\ntrack-length 2\n", 1, "track-length must come before"},
        {head + "track-0 omitted\ntrack 0\n    0 C-3 01 000\n    1 --- -- 000\n", 0, "omitted but has steps"},
        {head + "title \"open\n", 2, "closing quote"},
        {head + "title \"a\\x00b\"\n", 2, "zero byte"},
        {head + "revision 2\n", 2, "revision must be 0..1"},
        {head + "restart 1\nrestart 2\n", 3, "given twice"},
        {head + "instrument 2 \"x\"\n", 2, "next instrument must be 1"},
        {head + "instrument 1 \"x\"\n    playlist 1\n    0 tri +63 000 000\n", 4,
         "relative note must be 0..62"},
        {head + "instrument 1 \"x\"\n    playlist 1\n    0 tri +0 800 000\n", 4, "command must be 0..7"},
        {head + "instrument 1 \"x\"\n    volume 256\n", 3, "volume must be 0..255"},
        {head + "instrument 1 \"x\"\n    0 tri +0 000 000\n", 3, "must follow a 'playlist'"},
        {head + "positions\n    0 1 0 1 0 1 0 1 128\n", 3, "transpose must be -128..127"},
        {head + "positions\n    0 1 0 1 0 1 0\n", 3, "four pairs"},
        {head, 0, "no tracks"},
    };
    for (const Case& c : cases) {
        const tools::SongTextError error = parseError(c.text);
        EXPECT_EQ(error.line, c.line) << c.text;
        EXPECT_NE(error.message.find(c.fragment), std::string::npos) << c.text << "\n-> " << error.message;
    }
}

TEST(SongFileDecode, RefusesImagesWithoutATextForm) {
    std::mt19937 rng(7);
    const std::vector<uint8_t> bytes = encode(randomSongFile(rng));
    SongFile f;
    std::string error;

    std::vector<uint8_t> trailing = bytes;
    trailing.push_back(0);
    EXPECT_FALSE(tools::decodeSongFile(trailing, f, error));
    EXPECT_NE(error.find("follow the last instrument name"), std::string::npos) << error;

    std::vector<uint8_t> gap = bytes;
    const size_t offset = size_t(bytes[4]) << 8 | bytes[5];
    gap.insert(gap.begin() + std::ptrdiff_t(offset), uint8_t{0xAA});
    gap[4] = uint8_t((offset + 1) >> 8);
    gap[5] = uint8_t(offset + 1);
    EXPECT_FALSE(tools::decodeSongFile(gap, f, error));
    EXPECT_NE(error.find("does not follow the song data"), std::string::npos) << error;

    std::vector<uint8_t> revision = bytes;
    revision[3] = 2;
    EXPECT_FALSE(tools::decodeSongFile(revision, f, error));

    std::vector<uint8_t> unterminated(bytes.begin(), bytes.end() - 1);
    EXPECT_FALSE(tools::decodeSongFile(unterminated, f, error));
    EXPECT_NE(error.find("terminating zero"), std::string::npos) << error;

    for (size_t cut : {size_t(0), size_t(13), size_t(15), offset / 2, offset - 1}) {
        std::vector<uint8_t> shorter(bytes.begin(),
                                     bytes.begin() + std::ptrdiff_t(std::min(cut, bytes.size())));
        EXPECT_FALSE(tools::decodeSongFile(shorter, f, error)) << cut;
    }
}

TEST(SongFileEncode, RefusesWhatTheFormatCannotHold) {
    std::mt19937 rng(11);
    SongFile f = randomSongFile(rng);
    std::string error;

    SongFile notEmpty = f;
    notEmpty.omitTrack0 = true;
    notEmpty.song.trackLength = 1;
    for (auto& t : notEmpty.song.tracks) t.assign(1, ahx::Step{});
    notEmpty.song.tracks[0][0].note = 1;
    EXPECT_TRUE(tools::encodeSongFile(notEmpty, error).empty());
    EXPECT_NE(error.find("track 0"), std::string::npos) << error;

    SongFile huge = f;
    huge.song.trackLength = 255;
    huge.song.tracks.assign(100, std::vector<ahx::Step>(255));
    huge.song.highestTrack = 99;
    huge.omitTrack0 = false;
    EXPECT_TRUE(tools::encodeSongFile(huge, error).empty());
    EXPECT_NE(error.find("16-bit"), std::string::npos) << error;

    SongFile wide = f;
    wide.song.instruments.resize(2);
    wide.unusedBits.resize(2);
    wide.song.instrumentCount = 1;
    wide.song.instruments[1].vibratoDepth = 16;
    EXPECT_TRUE(tools::encodeSongFile(wide, error).empty());
}

}  // namespace
