// Runs the built `ahx` tool on songs written by the test and checks its
// output files, its printed lines and its exit codes.
#include <gtest/gtest.h>
#include <sndfile.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "ahx/song_image.h"
#include "ahx_tool_fixture.h"
#include "shells/ahx/command_line.h"
#include "support/synthetic_songs.h"

namespace {

using namespace ahx_tool_test;

TEST_F(AhxTool, RenderWritesWhatTheDeviceWouldPlay) {
    for (const char* name : {"busy.wav", "busy.flac"}) {
        SCOPED_TRACE(name);
        Result r = run("render " + path("busy.ahx") + " -o " + path(name) + " --seconds 3.5");
        ASSERT_EQ(r.code, 0) << r.err;
        SF_INFO info;
        std::vector<int16_t> got = readSound(name, info);
        EXPECT_EQ(info.samplerate, 44100);
        EXPECT_EQ(info.channels, 1);
        EXPECT_EQ(info.format & SF_FORMAT_SUBMASK, SF_FORMAT_PCM_16);
        EXPECT_EQ(info.format & SF_FORMAT_TYPEMASK,
                  std::string(name).ends_with(".flac") ? SF_FORMAT_FLAC : SF_FORMAT_WAV);
        ASSERT_EQ(got.size(), size_t(3.5 * 44100));
        std::vector<int16_t> expected = expectedSamples("busy.ahx", int64_t(got.size()));
        for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(got[i], expected[i]) << "sample " << i;
    }
}

TEST_F(AhxTool, TrackPlaysTheMusicdisksOwnSong) {
    // The tune built into the tool is the one in the source tree, and plays alike.
    const std::string trackFile = std::string(SONGS_DIR) + "/track02.ahx";
    writeBytes("track02.ahx", readText(trackFile));
    Result r = run("render --track 2 -o " + path("track2.wav") + " --seconds 2");
    ASSERT_EQ(r.code, 0) << r.err;
    SF_INFO info;
    std::vector<int16_t> got = readSound("track2.wav", info);
    ASSERT_EQ(got.size(), size_t(2 * 44100));
    EXPECT_EQ(got, expectedSamples("track02.ahx", int64_t(got.size())));

    Result info2 = run("info --track 2");
    EXPECT_EQ(info2.code, 0) << info2.err;
    EXPECT_NE(info2.out.find("track 2 ("), std::string::npos) << info2.out;

    for (const char* bad : {"0", "11", "x"}) {
        Result nope = run(std::string("info --track ") + bad);
        EXPECT_EQ(nope.code, 2) << bad;
        EXPECT_EQ(lines(nope.err).size(), 1u) << nope.err;
    }
    EXPECT_EQ(run("info --track").code, 1);
    EXPECT_EQ(run("info --track 1 " + path("busy.ahx")).code, 1);
}

TEST_F(AhxTool, RenderLengthFollowsTheSongsEnd) {
    SF_INFO info;
    // Two positions of four steps at tempo 6: 48 ticks, two per 1764-sample block.
    ASSERT_EQ(run("render " + path("empty.ahx") + " -o " + path("once.wav")).code, 0);
    readSound("once.wav", info);
    EXPECT_EQ(info.frames, 24 * 1764);
    ASSERT_EQ(run("render " + path("empty.ahx") + " --loops 3 -o " + path("thrice.wav")).code, 0);
    readSound("thrice.wav", info);
    EXPECT_EQ(info.frames, 3 * 24 * 1764);
    // F00 read on tick 13 stops the song after it.
    ASSERT_EQ(run("render " + path("stops.ahx") + " --output=" + path("stops.wav")).code, 0);
    readSound("stops.wav", info);
    EXPECT_EQ(info.frames, 6 * 1764 + 882);
}

TEST_F(AhxTool, InfoShowsTheHeaderAndTheLength) {
    Result r = run("info " + path("busy.ahx"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("title:            busy 5\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("revision:         1\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("speed multiplier: 1 (50 ticks per second)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("positions:        8\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("track length:     32 steps\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("tracks:           12 (0..11)\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("instruments:      5\n   1  lead\n   2  pulse\n"), std::string::npos) << r.out;
    // 8 positions x 32 steps x 6 ticks = 1536 ticks = 30.72 s.
    EXPECT_NE(r.out.find("length:           30.72 s (0:30.72), then back to position 0\n"), std::string::npos)
        << r.out;

    r = run("info " + path("stops.ahx"));
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("length:           0.26 s (0:00.26), then stopped by tempo 0\n"), std::string::npos)
        << r.out;
}

TEST_F(AhxTool, TracePrintsEachVoiceAfterEveryTick) {
    // Channel 1 plays note 13 from the first tick; channel 3 plays note 25
    // from the second step, read on tick 6 at tempo 6; the others are silent.
    ahx::Song song = synthetic::emptySong(4, 1, 3);
    const int32_t plain = synthetic::addInstrument(song);
    synthetic::setStep(song, 1, 0, 13, plain);
    synthetic::setStep(song, 2, 1, 25, plain);
    synthetic::usePosition(song, 0, 0, 1);
    synthetic::usePosition(song, 0, 2, 2);
    writeSong("trace.ahx", song);
    Result r = run("trace " + path("trace.ahx") + " --ticks 8");
    ASSERT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> got = lines(r.out);
    ASSERT_EQ(got.size(), 8u) << r.out;

    // A silent voice's wave is all zeros.
    const std::vector<Bytef> zeros(sizeof(ahx::Voice::outWave));
    char silent[16];
    std::snprintf(silent, sizeof silent, "%08lx", crc32(0L, zeros.data(), uInt(zeros.size())));
    for (int t = 0; t < 8; ++t) {
        SCOPED_TRACE(got[size_t(t)]);
        std::istringstream fields(got[size_t(t)]);
        int tick = -1;
        fields >> tick;
        EXPECT_EQ(tick, t);
        for (int k = 0; k < ahx::kChannels; ++k) {
            int volume = -1, period = -1;
            std::string crc;
            fields >> volume >> period >> crc;
            // Periods of notes 13 and 25: an octave apart.
            const int sounding = k == 0 ? 1712 : k == 2 && t >= 6 ? 856 : 0;
            EXPECT_EQ(volume, sounding != 0 ? 64 : 0) << "voice " << k;
            EXPECT_EQ(period, sounding) << "voice " << k;
            EXPECT_EQ(crc == silent, sounding == 0) << "voice " << k << ": " << crc;
        }
        EXPECT_TRUE(fields.eof()) << "more than four voices";
    }
}

TEST_F(AhxTool, BadSongsAreNamedOnOneLineWithExitCode2) {
    const std::pair<const char*, const char*> cases[] = {
        {"missing.ahx", "No such file or directory"}, {"folder.ahx", "Is a directory"},
        {"garbage.ahx", "not an AHX song"},           {"revision.ahx", "unsupported AHX format revision 5"},
        {"truncated.ahx", "damaged AHX song"},
    };
    for (const auto& [name, why] : cases) {
        for (const std::string command : {"info ", "trace ", "render "}) {
            std::string args = command + path(name);
            if (command == "trace ") args += " --ticks 3";
            if (command == "render ") args += " -o " + path("never.wav");
            Result r = run(args);
            EXPECT_EQ(r.code, 2) << args;
            EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
            EXPECT_NE(r.err.find(path(name) + ": " + why), std::string::npos) << r.err;
            EXPECT_TRUE(r.out.empty()) << r.out;
        }
    }
    EXPECT_FALSE(fs::exists(path("never.wav")));
}

TEST_F(AhxTool, CompileAndDecompileReadTheirInputLikeTheOtherCommands) {
    // A file past the limit: sparse, so it costs no disk.
    std::ofstream(path("huge.ahxt"));
    fs::resize_file(path("huge.ahxt"), (64u << 20) + 1);
    const std::pair<std::string, std::string> cases[] = {
        {"compile " + path("missing.ahxt") + " -o " + path("never.ahx"), "No such file or directory"},
        {"compile " + path("folder.ahx") + " -o " + path("never.ahx"), "Is a directory"},
        {"compile " + path("huge.ahxt") + " -o " + path("never.ahx"), "too large"},
        {"decompile " + path("folder.ahx"), "Is a directory"},
        {"decompile /dev/zero", "too large"},
        {"decompile " + path("missing.ahx"), "No such file or directory"},
        {"decompile " + path("garbage.ahx"), "not an AHX song"},
        {"decompile " + path("revision.ahx"), "unsupported AHX format revision 5"},
        {"decompile " + path("truncated.ahx"), "cut short"},
    };
    for (const auto& [args, why] : cases) {
        Result r = run(args);
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_EQ(lines(r.err).size(), 1u) << args << "\n" << r.err;
        EXPECT_EQ(r.err.rfind("ahx " + args.substr(0, args.find(' ')) + ": ", 0), 0u) << r.err;
        EXPECT_NE(r.err.find(why), std::string::npos) << args << "\n" << r.err;
        EXPECT_TRUE(r.out.empty()) << r.out;
    }
    EXPECT_FALSE(fs::exists(path("never.ahx")));
    fs::remove(path("huge.ahxt"));
}

TEST_F(AhxTool, AnOutputThatCannotBeWrittenExitsWith4) {
    const std::string busy = path("busy.ahx");
    ASSERT_EQ(run("decompile " + busy + " -o " + path("busy.ahxt")).code, 0);
    for (const std::string& args : {
             "info " + busy,
             std::string("info --help"),
             "trace " + busy + " --ticks 2000",
             "decompile " + busy,
         }) {
        Result r = run(args, "/dev/full");
        EXPECT_EQ(r.code, 4) << args;
        EXPECT_EQ(lines(r.err).size(), 1u) << args << "\n" << r.err;
        EXPECT_NE(r.err.find("standard output: cannot write: No space left on device"), std::string::npos)
            << r.err;
    }
    for (const std::string& args : {
             "decompile " + busy + " -o /dev/full",
             "compile " + path("busy.ahxt") + " -o /dev/full",
             "render " + busy + " --seconds 1 -o /dev/full",
             "render " + busy + " --seconds 1 -o " + path("no/such/folder/out.wav"),
         }) {
        Result r = run(args);
        EXPECT_EQ(r.code, 4) << args;
        EXPECT_EQ(lines(r.err).size(), 1u) << args << "\n" << r.err;
        EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    }
    EXPECT_TRUE(fs::exists("/dev/full"));
}

TEST_F(AhxTool, AnOutputIsNeverItsOwnInputAndAppearsOnlyWhole) {
    const std::string song = readText(path("busy.ahx"));
    writeBytes("own", song);
    ASSERT_EQ(run("decompile " + path("own") + " -o " + path("own.ahxt")).code, 0);
    const std::string text = readText(path("own.ahxt"));
    fs::create_symlink(path("own"), path("own-link"));
    fs::create_hard_link(path("own"), path("own-2.wav"));
    for (const std::string& args : {
             "render " + path("own") + " --seconds 1 -o " + path("own"),
             "render " + path("own") + " --seconds 1 -o " + path("own-link"),
             "render " + path("own") + " --seconds 1 --stems -o " + path("own.wav"),
             "compile " + path("own.ahxt") + " -o " + path("own.ahxt"),
             "decompile " + path("own") + " -o " + path("own-link"),
         }) {
        Result r = run(args);
        EXPECT_EQ(r.code, 1) << args;
        EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
        EXPECT_NE(r.err.find(": is the input " + path("own")), std::string::npos) << r.err;
    }
    EXPECT_TRUE(readText(path("own")) == song);
    EXPECT_TRUE(readText(path("own.ahxt")) == text);
    EXPECT_FALSE(fs::exists(path("own-1.wav")));

    // A render cut short, here by a limit on the file size, leaves the file
    // it was to replace as it was, and nothing beside it.
    ASSERT_EQ(run("render " + path("busy.ahx") + " --seconds 1 -o " + path("good.wav")).code, 0);
    const std::string good = readText(path("good.wav"));
    Result r =
        run("render " + path("busy.ahx") + " --seconds 5 -o " + path("good.wav"), "", "ulimit -f 100; ");
    EXPECT_EQ(r.code, 4);
    EXPECT_NE(r.err.find(path("good.wav") + ": cannot write: "), std::string::npos) << r.err;
    EXPECT_TRUE(readText(path("good.wav")) == good);
    for (const auto& entry : fs::directory_iterator(*dir_)) {
        EXPECT_FALSE(entry.path().filename().string().starts_with(".good.wav")) << entry.path();
    }
}

TEST(AhxCommand, AnExceptionThatEscapesACommandIsOneLineNotAnAbort) {
    const struct {
        int (*run)(tools::Args);
        std::string message;
    } cases[] = {
        {[](tools::Args) -> int { throw std::bad_alloc(); }, "ahx info: out of memory\n"},
        {[](tools::Args) -> int { throw std::runtime_error("disk on fire"); }, "ahx info: disk on fire\n"},
        {[](tools::Args) -> int { throw 7; }, "ahx info: failed for an unknown reason\n"},
    };
    for (const auto& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(tools::runGuarded("info", c.run, {}), tools::kExitFailure);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message);
    }
    EXPECT_EQ(tools::runGuarded("info", [](tools::Args) { return 3; }, {}), 3);
}

TEST_F(AhxTool, PlayEndsWithExit3WhenTheSoundDeviceStops) {
    // A sink that takes nothing, as a card that was unplugged; `timeout` ends
    // a tool that would play on unheard.
    Result r = run("play " + path("busy.ahx"), "",
                   "VELTRANE_WAVEOUT_FILE=/dev/full VELTRANE_WAVEOUT_PACE=fast timeout 30 ");
    EXPECT_EQ(r.code, 3);
    EXPECT_EQ(lines(r.err).size(), 1u) << r.err;
    EXPECT_EQ(r.err.rfind("ahx play: the sound device stopped: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("the device is gone"), std::string::npos) << r.err;
}

TEST_F(AhxTool, CompilerMessagesArePrefixedAndPositionsOutsideTheListWarn) {
    const std::string source = std::string(SONGS_DIR) + "/../../tests/shells/ahx/data/bad_song.ahxt";
    Result r = run("compile " + source + " -o " + path("never.ahx"));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("ahx compile: " + source + ":4: step command must be hex digits", 0), 0u) << r.err;

    writeBytes("no_steps.ahxt", "track-length 0\npositions\n    0 0 0 0 0 0 0 0 0\ntrack 0 empty\n");
    r = run("compile " + path("no_steps.ahxt") + " -o " + path("never.ahx"));
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "ahx compile: " + path("no_steps.ahxt") + ":1: track length must be 1..255, not 0\n");
    writeBytes("no_positions.ahxt", "track-length 1\ntrack 0 empty\n");
    r = run("compile " + path("no_positions.ahxt") + " -o " + path("never.ahx"));
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("no positions"), std::string::npos) << r.err;
    EXPECT_FALSE(fs::exists(path("never.ahx")));

    writeBytes(
        "outside.ahxt",
        "track-length 1\nrestart 60000\nsubsongs 9999\npositions\n    0 0 0 0 0 0 0 0 0\ntrack 0 empty\n");
    r = run("compile " + path("outside.ahxt") + " -o " + path("outside.ahx"));
    EXPECT_EQ(r.code, 0) << r.err;
    const std::vector<std::string> warnings = lines(r.err);
    ASSERT_EQ(warnings.size(), 2u) << r.err;
    EXPECT_EQ(
        warnings[0].rfind("ahx compile: " + path("outside.ahxt") + ":2: warning: restart position 60000", 0),
        0u);
    EXPECT_EQ(warnings[1].rfind("ahx compile: " + path("outside.ahxt") + ":3: warning: subsong 1", 0), 0u);
    r = run("info " + path("outside.ahx"));
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("restart position: 60000 (outside the list: the player goes to position 0)"),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("subsong 1 at position 9999 (outside the list"), std::string::npos) << r.out;
    // It decompiles to a text that compiles to the same bytes again.
    ASSERT_EQ(run("decompile " + path("outside.ahx") + " -o " + path("outside2.ahxt")).code, 0);
    ASSERT_EQ(run("compile " + path("outside2.ahxt") + " -o " + path("outside2.ahx")).code, 0);
    EXPECT_EQ(readText(path("outside2.ahx")), readText(path("outside.ahx")));
}

TEST_F(AhxTool, UsageErrorsExitWith1AndHelpWith0) {
    const std::string song = path("empty.ahx");
    const std::string wav = " -o " + path("usage.wav");
    // Each names the mistake in the tool's own words, whatever the parser
    // underneath would say, and the command's help follows.
    const std::pair<std::string, std::string> cases[] = {
        {"info", "ahx info: no SONG given"},
        {"info " + song + " " + song, "ahx info: unexpected argument '" + song + "'"},
        {"info --frobnicate " + song, "ahx info: unexpected argument '--frobnicate'"},
        {"info " + song + " --track 1", "ahx info: unexpected argument '--track'"},
        {"info --track", "ahx info: unexpected argument '--track'"},
        {"info " + song + " --loudness=no", "ahx info: unexpected argument '--loudness=no'"},
        {"trace " + song, "ahx trace: --ticks N is required"},
        {"trace " + song + " --ticks", "ahx trace: --ticks needs a whole number of 0 or more"},
        {"trace " + song + " --ticks -1", "ahx trace: --ticks needs a whole number of 0 or more"},
        {"trace " + song + " --ticks=12x", "ahx trace: --ticks needs a whole number of 0 or more"},
        {"render " + song, "ahx render: no output file given (-o OUT.wav)"},
        {"render " + song + " -o", "ahx render: -o needs a file name"},
        {"render " + song + " --output=", "ahx render: -o needs a file name"},
        {"render " + song + " -o=q.wav", "ahx render: unexpected argument '-o=q.wav'"},
        {"render " + song + wav + " --seconds 1 --loops 2",
         "ahx render: --seconds and --loops exclude each other"},
        {"render " + song + wav + " --seconds abc", "ahx render: --seconds needs a number from 0 to 10800"},
        {"render " + song + wav + " --seconds 1e9", "ahx render: --seconds needs a number from 0 to 10800"},
        {"render " + song + wav + " --loops 0", "ahx render: --loops needs a number from 1 to 100"},
        {"render " + song + wav + " --subsong 300", "ahx render: --subsong needs a number from 0 to 255"},
        {"render " + song + wav + " --stems=false", "ahx render: unexpected argument '--stems=false'"},
        {"compile " + path("a.ahxt"), "ahx compile: no output file given (-o SONG.ahx)"},
        {"decompile " + song + " " + song, "ahx decompile: unexpected argument '" + song + "'"},
    };
    for (const auto& [args, message] : cases) {
        const Result failed = run(args);
        EXPECT_EQ(failed.code, 1) << args;
        EXPECT_EQ(failed.err.substr(0, failed.err.find('\n')), message) << args;
        EXPECT_NE(failed.err.find("\n\nusage: ahx "), std::string::npos) << args << "\n" << failed.err;
    }
    // Found only once the song is read, this one comes without the help.
    Result r = run("trace " + song + " --ticks 5 --subsong 1");
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.err, "ahx trace: " + song + ": no subsong 1 (the song has 0)\n");
    // Help is answered wherever it stands, whatever follows it.
    for (const char* command : {"info", "trace", "render"}) {
        r = run(std::string(command) + " --help --mute 9");
        EXPECT_EQ(r.code, 0) << command;
        EXPECT_EQ(r.out.rfind("usage: ahx " + std::string(command), 0), 0u) << r.out;
    }
}

}  // namespace
