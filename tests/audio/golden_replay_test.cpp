// The replay's sound pinned down: for every tune and subsong of the disk and
// for songs built here that reach every track and playlist command, a digest
// of the voices after each tick and one of the mono samples the device would
// play. Code moves that must not change what is heard keep both unchanged.
#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "audio/memory_output.h"
#include "audio/stream_format.h"
#include "core/track_list.h"
#include "resources/program_resources.h"
#include "support/synthetic_songs.h"
#include "support/wave_bank.h"

namespace {

using synthetic::addInstrument;
using synthetic::emptySong;
using synthetic::instrument;
using synthetic::row;
using synthetic::setStep;
using synthetic::usePosition;

constexpr int32_t kSeconds = 30;
constexpr int32_t kTicksPerSecond = 50;

struct Golden {
    const char* name;
    uint64_t trace;
    uint64_t samples;
};

// To accept a change of sound on purpose, run with VELTRANE_PRINT_GOLDEN=1
// and paste the table it prints over this one.
constexpr Golden kGolden[] = {
    {"track01/0", 0xba586cd6f27bdf41u, 0xcbe624a6f7f7744bu},
    {"track02/0", 0x82b82cbcc25eaf79u, 0xa6731101febea713u},
    {"track03/0", 0xda858c4904170c99u, 0xbc5e91988c4ffcd4u},
    {"track04/0", 0xa01596ffc0e2c394u, 0x23ad3b9a45b32af0u},
    {"track05/0", 0x1548a16919860f03u, 0xaa2a60a7a8746302u},
    {"track06/0", 0x5dc9facad5172a40u, 0x6b84ba0c5a2802d0u},
    {"track07/0", 0x9c240f66fe55bbf6u, 0x10bc75511a74db9bu},
    {"track08/0", 0x9ad551ca07fa9f42u, 0x58537683a30e1366u},
    {"track09/0", 0xd9715ab1bf66171bu, 0x903ba36d9e754527u},
    {"track10/0", 0xae7b2df7bd458159u, 0xc4b486dd33459051u},
    {"pitch", 0x1c33e77d1878e9dau, 0x479bf88375212bc9u},
    {"volume", 0x216039c6f3ec0adfu, 0xef5521cfc2094659u},
    {"flow", 0xf82445379f06a44cu, 0x98c53c0963fd4b93u},
    {"flow-stop", 0xf167bede0433be2eu, 0xcd22d4a617484962u},
    {"playlist", 0xe938326fa2f28713u, 0xb7794026d4471678u},
    {"playlist-v0", 0x8f0a7f6fce67e783u, 0xeaa8d3e7575af330u},
    {"busy-x1/0", 0x2ee467596b5e62ceu, 0xb04e52505465a32au},
    {"busy-x1/1", 0x6dcbb6dc16ca06e9u, 0xd894401a207a3425u},
    {"busy-x1/2", 0xbcf468a2060af394u, 0x7e0c39ca17fe6838u},
    {"busy-x2/0", 0xd5ce1bade0fa151bu, 0x9787342f976813b2u},
    {"busy-x2/1", 0xddc5ff356d7e3155u, 0x1d0d2bfc0a950461u},
    {"busy-x2/2", 0x264db89496065510u, 0xb53e6e65b7ffcb3du},
    {"busy-x3/0", 0xc838040615be06a3u, 0xe95e09d6c173b52eu},
    {"busy-x3/1", 0x560f90b84cc4712cu, 0x3d7229893a89be7du},
    {"busy-x3/2", 0x0432bad084155e16u, 0xa2a5840a7a4984ffu},
    {"busy-x4/0", 0xc337a43997c2878bu, 0xd8b83170e4e255e5u},
    {"busy-x4/1", 0x17657f7e050356a5u, 0x991f6e95e55b2332u},
    {"busy-x4/2", 0xf2d743334415eb80u, 0xd7a4a81e259788a9u},
};

struct Fnv {
    uint64_t h = 0xcbf29ce484222325u;
    void byte(uint8_t b) { h = (h ^ b) * 0x100000001b3u; }
    void value(uint64_t v) {
        for (int i = 0; i < 8; ++i) byte(uint8_t(v >> (8 * i)));
    }
};

// A fresh player each time: the noise seed runs on across songs.
std::unique_ptr<ahx::Player> startedPlayer(const ahx::Song& song, int32_t subsong) {
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&test_support::sharedBank());
    player->song = song;
    EXPECT_EQ(player->startSubsong(subsong), 1);
    return player;
}

// What `ahx trace` prints after each tick: volume, period and a checksum of
// the waveform of every voice.
uint64_t traceDigest(const ahx::Song& song, int32_t subsong) {
    auto player = startedPlayer(song, subsong);
    const int32_t ticks = kSeconds * kTicksPerSecond * std::clamp(song.speedMultiplier, 1, 4);
    Fnv all;
    for (int32_t t = 0; t < ticks; ++t) {
        player->tick();
        for (const ahx::Voice& v : player->voices) {
            Fnv wave;
            for (int8_t s : v.outWave) wave.byte(uint8_t(s));
            all.value(uint64_t(uint32_t(v.outVolume)));
            all.value(uint64_t(uint32_t(v.outPeriod)));
            all.value(wave.h);
        }
    }
    return all.h;
}

// Rendered as the program plays, at gain 1.
uint64_t samplesDigest(const ahx::Song& song, int32_t subsong) {
    auto player = startedPlayer(song, subsong);
    audio::MemoryOutput out;
    EXPECT_EQ(out.setup(audio::kSampleRate, audio::kBitsPerSample, audio::kFramesPerBlock, 1.0f), 1);
    EXPECT_EQ(out.play(player.get()), 1);
    std::vector<int16_t> pcm(size_t(kSeconds) * audio::kSampleRate);
    EXPECT_EQ(out.renderPcm16(pcm.data(), int64_t(pcm.size())), int64_t(pcm.size()));
    out.release();
    Fnv all;
    for (int16_t s : pcm) {
        all.byte(uint8_t(uint16_t(s)));
        all.byte(uint8_t(uint16_t(s) >> 8));
    }
    return all.h;
}

// Track commands 1, 2, 3, 5, 9, E1, E2, E4, and 4, 6, 7 and 8, which do nothing.
ahx::Song pitchCommands() {
    ahx::Song song = emptySong(16, 2, 3);
    ahx::Instrument lead = instrument("lead", 3, {row(1, 1)});
    lead.vibratoDelay = 2;
    lead.vibratoDepth = 4;
    lead.vibratoSpeed = 9;
    addInstrument(song, lead);
    addInstrument(song, instrument("square", 4, {row(3, 1)}));
    const int32_t slides[][3] = {{25, 1, 3},     {0, 0x1, 4},     {0, 0x2, 7},    {30, 0x3, 6},
                                 {0, 0x3, 0},    {18, 0x5, 0x12}, {0, 0x5, 0x30}, {20, 0xE, 0x13},
                                 {0, 0xE, 0x24}, {0, 0xE, 0x4F},  {0, 0xE, 0x40}, {22, 0x4, 0x20},
                                 {0, 0x6, 0x11}, {0, 0x7, 0x22},  {0, 0x8, 0x33}, {24, 0x3, 0x40}};
    for (int32_t i = 0; i < 16; ++i)
        setStep(song, 1, i, slides[i][0], i == 0 ? 1 : 0, slides[i][1], slides[i][2]);
    for (int32_t i = 0; i < 16; i += 4) setStep(song, 2, i, 13 + i, 2, 0x9, i * 16);
    usePosition(song, 0, 0, 1);
    usePosition(song, 0, 1, 2, 5);
    usePosition(song, 1, 0, 2);
    usePosition(song, 1, 1, 1, -7);
    return song;
}

// Track commands A, C in its three ranges, EA, EB, EC, ED, and hard cuts
// with and without release.
ahx::Song volumeCommands() {
    ahx::Song song = emptySong(16, 2, 3);
    ahx::Instrument cut = instrument("cut", 2, {row(2, 1)});
    cut.hardCutReleaseFrames = 3;
    cut.hardCutRelease = 1;
    ahx::Instrument chop = instrument("chop", 2, {row(1, 1)});
    chop.hardCutReleaseFrames = 2;
    addInstrument(song, instrument("pad", 3, {row(1, 1)}));
    addInstrument(song, cut);
    addInstrument(song, chop);
    const int32_t volumes[][4] = {
        {25, 1, 0xA, 0x03}, {0, 0, 0xA, 0x40},  {0, 0, 0xC, 20},    {0, 0, 0xC, 100},
        {27, 1, 0xE, 0xB9}, {0, 0, 0xE, 0xA3},  {0, 0, 0xC, 190},   {0, 0, 0xC, 144},
        {29, 1, 0xE, 0xC3}, {30, 1, 0xE, 0xD2}, {31, 1, 0xE, 0xD0}, {32, 1, 0xE, 0xC0},
        {33, 1, 0xC, 70},   {0, 0, 0xC, 150},   {0, 0, 0xC, 230},   {34, 1, 0xE, 0xDF}};
    for (int32_t i = 0; i < 16; ++i)
        setStep(song, 1, i, volumes[i][0], volumes[i][1], volumes[i][2], volumes[i][3]);
    for (int32_t i = 0; i < 16; i += 2) setStep(song, 2, i, 20 + i, 2 + (i / 2) % 2);
    usePosition(song, 0, 0, 1);
    usePosition(song, 0, 2, 2);
    usePosition(song, 1, 1, 2, 3);
    usePosition(song, 1, 3, 1, 12);
    return song;
}

// Track commands D (to a row, and past the track's end to row 0), B, F and
// 0 with B on the same row: a jump past the list, which starts it over. With
// `stops`, tempo 0 ends the song.
ahx::Song flowCommands(bool stops) {
    ahx::Song song = emptySong(8, 5, 7);
    addInstrument(song, instrument("beep", 2, {row(2, 1)}));
    for (int32_t t = 1; t < 7; ++t)
        for (int32_t i = 0; i < 8; i += 2) setStep(song, t, i, 12 + 4 * t + i, 1);
    setStep(song, 1, 3, 0, 0, 0xF, 3);
    setStep(song, 1, 6, 0, 0, 0xD, 0x05);
    setStep(song, 2, 5, 0, 0, 0xF, 9);
    setStep(song, 2, 7, 0, 0, 0xB, 0x03);
    setStep(song, 3, 2, 0, 0, 0xD, 0x99);
    if (stops) setStep(song, 3, 1, 0, 0, 0xF, 0);
    setStep(song, 4, 6, 0, 0, 0x0, 0x01);
    setStep(song, 5, 6, 0, 0, 0xB, 0x02);
    const int32_t firstChannel[] = {1, 2, 1, 3, 4};
    for (int32_t p = 0; p < 5; ++p) {
        usePosition(song, p, 0, firstChannel[p]);
        usePosition(song, p, 2, 6, p - 2);
    }
    usePosition(song, 4, 1, 5);
    return song;
}

// Every playlist command (0 filter, 1 and 2 slides, 3 square width, 4 square
// and filter modulation with both signs, 5 jump, 6 volumes, 7 speed), fixed
// notes, every waveform and the numbers that name none.
ahx::Song playlistCommands(int32_t version) {
    ahx::Song song = emptySong(16, 1, 5);
    song.version = version;
    ahx::Instrument sweep = instrument("sweep", 5, {row(3, 1, 4, 0x11), row(0, 0, 7, 3), row(0, 0, 4, 0xFF)});
    sweep.squareSpeed = 2;
    ahx::Instrument slide = instrument("slide", 3,
                                       {row(1, 1, 1, 3), row(2, 0, 2, 5), row(0, 0, 0, 10, 6, 100),
                                        row(5, 0, 6, 180), row(4, 0, 0, 40, 6, 30), row(6, 0, 2, 1, 7, 2)});
    slide.playlist[1].fixedNote = 1;
    slide.playlist[1].note = 40;
    ahx::Instrument looped = instrument(
        "looped", 4, {row(3, 1, 3, 20), row(0, 3, 4, 0), row(0, 6, 4, 0x0F), row(7, 1, 4, 0xF0, 5, 1)});
    ahx::Instrument noise = instrument("noise", 1, {row(4, 1, 0, 63), row(0, 0, 4, 0x10), row(0, 0, 0, 200)});
    for (const ahx::Instrument& in : {sweep, slide, looped, noise}) addInstrument(song, in);
    for (int32_t t = 1; t < 5; ++t) setStep(song, t, 0, 10 + 6 * t, t);
    setStep(song, 3, 8, 0, 0, 0x9, 0x30);
    setStep(song, 3, 9, 0, 0, 0x9, 0xF0);
    setStep(song, 1, 8, 25, 1);
    setStep(song, 2, 10, 30, 2);
    for (int k = 0; k < ahx::kChannels; ++k) usePosition(song, 0, k, 1 + k, k);
    return song;
}

// The first subsongs of a busy song start in its middle.
ahx::Song busyWithSubsongs(uint32_t seed, int32_t speedMultiplier) {
    ahx::Song song = synthetic::busySong(seed, speedMultiplier);
    song.subsongs = {3, 6};
    song.subsongCount = 2;
    return song;
}

struct Case {
    std::string name;
    ahx::Song song;
    int32_t subsong;
};

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (int32_t i = 0; i < core::trackCount; ++i) {
        const resources::ResourceData data = resources::findProgramResource("AHX", core::trackResourceIds[i]);
        ahx::Song song;
        EXPECT_EQ(ahx::loadSong(song, data.bytes, int32_t(data.size)), 1) << "track " << i + 1;
        char name[32];
        for (int32_t n = 0; n <= song.subsongCount; ++n) {
            std::snprintf(name, sizeof name, "track%02d/%d", int(i + 1), int(n));
            cases.push_back({name, song, n});
        }
    }
    cases.push_back({"pitch", pitchCommands(), 0});
    cases.push_back({"volume", volumeCommands(), 0});
    cases.push_back({"flow", flowCommands(false), 0});
    cases.push_back({"flow-stop", flowCommands(true), 0});
    cases.push_back({"playlist", playlistCommands(1), 0});
    cases.push_back({"playlist-v0", playlistCommands(0), 0});
    for (int32_t m = 1; m <= 4; ++m) {
        const ahx::Song busy = busyWithSubsongs(uint32_t(m), m);
        for (int32_t n = 0; n <= busy.subsongCount; ++n)
            cases.push_back({"busy-x" + std::to_string(m) + "/" + std::to_string(n), busy, n});
    }
    return cases;
}

TEST(GoldenReplay, EverySongSoundsAsRecorded) {
    const bool print = std::getenv("VELTRANE_PRINT_GOLDEN") != nullptr;
    std::string table;
    int mismatches = 0;
    const std::vector<Case> cases = allCases();
    EXPECT_EQ(cases.size(), std::size(kGolden))
        << "the cases changed; regenerate with VELTRANE_PRINT_GOLDEN=1";
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const uint64_t trace = traceDigest(c.song, c.subsong);
        const uint64_t samples = samplesDigest(c.song, c.subsong);
        char line[160];
        std::snprintf(line, sizeof line, "    {\"%s\", 0x%016" PRIx64 "u, 0x%016" PRIx64 "u},\n",
                      c.name.c_str(), trace, samples);
        table += line;
        const bool known = i < std::size(kGolden) && c.name == kGolden[i].name;
        if (!known || kGolden[i].trace != trace || kGolden[i].samples != samples) {
            ++mismatches;
            char digests[96];
            std::snprintf(digests, sizeof digests, "trace 0x%016" PRIx64 ", samples 0x%016" PRIx64, trace,
                          samples);
            ADD_FAILURE() << c.name << " now gives " << digests
                          << (known ? "" : " (not in the table at this place)");
        }
    }
    if (print) std::printf("%s", table.c_str());
    if (mismatches != 0 && !print) {
        std::printf(
            "If the change of sound is meant, run this test with VELTRANE_PRINT_GOLDEN=1 and paste the "
            "printed lines over the table kGolden in tests/audio/golden_replay_test.cpp.\n");
    }
}

}  // namespace
