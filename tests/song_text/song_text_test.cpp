#include "song_text/song_text.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>

#include "ahx/player.h"
#include "support/random_song_images.h"
#include "support/wave_bank.h"

namespace {

using SongFile = ahx::SongImage;

std::vector<uint8_t> encode(const SongFile& f) {
    std::string error;
    std::vector<uint8_t> bytes = ahx::writeSongImage(f, &error);
    EXPECT_EQ(error, "");
    return bytes;
}

// What `ahx decompile` then `ahx compile` do to a file image.
std::vector<uint8_t> throughText(const std::vector<uint8_t>& bytes, std::string* text = nullptr) {
    SongFile decoded;
    std::string error;
    if (!ahx::readSongImage(bytes.data(), bytes.size(), decoded, &error)) {
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
        const std::vector<uint8_t> bytes = encode(synthetic::randomSongImage(rng));
        ASSERT_FALSE(bytes.empty());
        std::string text;
        ASSERT_EQ(throughText(bytes, &text), bytes) << "song " << i << ":\n" << text;
    }
}

TEST(SongTextRoundTrip, EveryCompiledSongLoadsAndPlays) {
    std::mt19937 rng(99);
    for (int i = 0; i < 60; ++i) {
        SongFile parsed;
        tools::SongTextError error;
        ASSERT_TRUE(
            tools::parseSongText(tools::printSongText(synthetic::randomSongImage(rng)), parsed, error))
            << error.message;
        const std::vector<uint8_t> bytes = encode(parsed);
        auto player = std::make_unique<ahx::Player>();
        player->bindWaveTables(&test_support::sharedBank());
        ASSERT_EQ(player->loadSong(bytes.data(), int32_t(bytes.size())), 1) << "song " << i;
        ASSERT_EQ(player->startSubsong(0), 1);
        for (int tick = 0; tick < 300; ++tick) {
            player->tick();
            for (const ahx::Voice& v : player->voices) {
                ASSERT_GE(v.outVolume, 0);
                ASSERT_LE(v.outVolume, 64);
            }
        }
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
    f.song.positions.resize(1);
    f.song.positionCount = 1;
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

TEST(SongTextRoundTrip, UnusualStringLayoutsComeBackByteForByte) {
    std::mt19937 rng(7);
    for (int i = 0; i < 20; ++i) {
        const std::vector<uint8_t> usual = encode(synthetic::randomSongImage(rng));
        for (const std::vector<uint8_t>& bytes : synthetic::unusualLayouts(usual)) {
            std::string text;
            ASSERT_EQ(throughText(bytes, &text), bytes) << text;
            EXPECT_NE(text.find("\nstring-area "), std::string::npos);
            EXPECT_NE(text.find("\ntail\n"), std::string::npos);
        }
    }
}

TEST(SongTextParse, StringAreaAndTailHoldTheBytesAsStored) {
    const std::string song =
        "title \"ab\"\ntrack-length 1\npositions\n    0 0 0 0 0 0 0 0 0\ntrack 0 empty\n";
    // The title right after the song data (14 + 8 + 3 bytes), then a gap byte.
    SongFile f = parse(song + "string-area 25\ntail\n    0 61 62 00 FF\n");
    std::string error;
    const std::vector<uint8_t> bytes = ahx::writeSongImage(f, &error);
    ASSERT_EQ(error, "");
    EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()), (std::vector<uint8_t>{'a', 'b', 0, 0xFF}));

    // A title that the bytes do not hold is refused, not written.
    f = parse("title \"xy\"\n" + song.substr(song.find('\n') + 1) + "string-area 25\ntail\n    0 61 62 00\n");
    EXPECT_TRUE(ahx::writeSongImage(f, &error).empty());
    EXPECT_NE(error.find("title differs"), std::string::npos) << error;

    EXPECT_EQ(parseError(song + "string-area 25\n").line, 6);
    EXPECT_EQ(parseError(song + "tail\n    0 00\n").line, 6);
    EXPECT_NE(parseError(song + "string-area 25\ntail\n    1 00\n").message.find("tail offset 1 where 0"),
              std::string::npos);
}

TEST(SongTextParse, RefusesSongsTheLoaderRejectsAndWarnsAboutPositionsOutsideTheList) {
    const std::string tracks = "track 0 empty\n";
    const std::string positions = "positions\n    0 0 0 0 0 0 0 0 0\n    1 0 0 0 0 0 0 0 0\n";
    tools::SongTextError error = parseError("track-length 0\n" + positions + tracks);
    EXPECT_EQ(error.line, 1);
    EXPECT_NE(error.message.find("track length must be 1..255"), std::string::npos) << error.message;
    error = parseError("track-length 1\n" + tracks);
    EXPECT_EQ(error.line, 0);
    EXPECT_NE(error.message.find("no positions"), std::string::npos) << error.message;
    error = parseError("track-length 1\npositions\n" + tracks);
    EXPECT_EQ(error.line, 2);

    SongFile f;
    std::vector<tools::SongTextError> warnings;
    ASSERT_TRUE(tools::parseSongText(
        "track-length 1\nrestart 60000\nsubsongs 1 9999 2\n" + positions + tracks, f, error, &warnings));
    ASSERT_EQ(warnings.size(), 3u);
    EXPECT_EQ(warnings[0].line, 2);
    EXPECT_NE(warnings[0].message.find("restart position 60000 is outside the 2 positions"),
              std::string::npos)
        << warnings[0].message;
    EXPECT_EQ(warnings[1].line, 3);
    EXPECT_NE(warnings[1].message.find("subsong 2 starts at position 9999"), std::string::npos)
        << warnings[1].message;
    EXPECT_NE(warnings[2].message.find("subsong 3 starts at position 2,"), std::string::npos)
        << warnings[2].message;
    // Such a song still compiles to the bytes it describes, and loads.
    const std::vector<uint8_t> bytes = encode(f);
    ahx::Song song;
    EXPECT_EQ(ahx::loadSong(song, bytes.data(), int32_t(bytes.size())), 1);
    EXPECT_EQ(song.restartPosition, 60000);
}

TEST(SongTextParse, MessagesQuoteTheSourceSafelyAndShortly) {
    const std::string head = "track-length 2\n";
    // A NUL neither cuts the message nor passes into it; nor does an escape.
    tools::SongTextError error = parseError(head + std::string("ti\0tle \"x\"\n", 11));
    EXPECT_EQ(error.line, 2);
    EXPECT_NE(error.message.find("'ti\\x00tle'"), std::string::npos) << error.message;
    error = parseError(head + "\x1b[2Jboom 1\n");
    EXPECT_EQ(error.message.find('\x1b'), std::string::npos) << error.message;
    EXPECT_NE(error.message.find("\\x1B[2Jboom"), std::string::npos) << error.message;

    error = parseError(head + std::string(5000, 'z') + "\n");
    const size_t open = error.message.find('\'');
    const size_t close = error.message.rfind('\'');
    ASSERT_NE(open, close) << error.message;
    EXPECT_LE(close - open - 1, 40u) << error.message;
    EXPECT_NE(error.message.find("zzz...'"), std::string::npos) << error.message;

    // One sign at most.
    error = parseError(head + "positions\n    0 1 +-4 1 0 1 0 1 0\n");
    EXPECT_EQ(error.line, 3);
    EXPECT_NE(error.message.find("must be a number, not '+-4'"), std::string::npos) << error.message;
    EXPECT_EQ(parse(head + "positions\n    0 1 +4 1 -4 1 0 1 0\ntrack 0 empty\ntrack 1 empty\n")
                  .song.positions[0]
                  .transpose[0],
              4);

    // A raw zero byte cannot be part of a string: it would end it in the file.
    error = parseError(head + std::string("title \"a\0b\"\n", 11));
    EXPECT_NE(error.message.find("zero byte"), std::string::npos) << error.message;

    // A string is quoted whole after longer ones on its line were read.
    error = parseError(head + "subsongs \"first\\x41\" \"" + std::string(300, 'b') + "\"\n");
    EXPECT_NE(error.message.find("subsong start must be a number, not 'firstA'"), std::string::npos)
        << error.message;
}

}  // namespace
