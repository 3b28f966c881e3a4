// ahx render: a song to a sound file, sample for sample what the program's
// device would play.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/memory_output.h"
#include "tools/ahx/command_line.h"
#include "tools/ahx/commands.h"
#include "tools/ahx/input_output.h"
#include "tools/ahx/song_argument.h"
#include "tools/ahx/song_end.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx render (SONG | --track N) -o OUT.wav [--seconds S | --loops K] [--subsong N]\n"
    "\n"
    "Renders 16-bit mono PCM at 44100 Hz, the samples the player's sound device\n"
    "would be given, into a WAV file (FLAC when OUT ends in .flac).\n"
    "By default the song is rendered until it first comes back to a position it\n"
    "has already played or stops (tempo 0), and at most 15 minutes.\n"
    "\n"
    "  SONG                  an AHX song file\n"
    "  --track N             instead of SONG, tune N (1..10) of the musicdisk\n"
    "  -o, --output OUT      the file to write\n"
    "  --seconds S           render exactly S seconds (up to 10800)\n"
    "  --loops K             play K times through: stop at the K-th return (1..100,\n"
    "                        at most 15 minutes per pass and 3 hours in all)\n"
    "  --subsong N           start subsong N instead of the main song (0)\n";

constexpr double kMaxSeconds = 3 * 3600;
constexpr int64_t kChunkSamples = 16384;

bool endsWithNoCase(std::string_view text, std::string_view suffix) {
    if (text.size() < suffix.size()) return false;
    text = text.substr(text.size() - suffix.size());
    for (size_t i = 0; i < suffix.size(); ++i) {
        char c = text[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
}

struct SndfileCloser {
    void operator()(SNDFILE* f) const { sf_close(f); }
};

int writeFailed(const std::string& path, const char* why) {
    std::fprintf(stderr, "ahx render: %s: cannot write: %s\n", path.c_str(), why);
    return kExitCannotWrite;
}

}  // namespace

int runRender(Args args) {
    SongArgument songArgument;
    std::string outPath;
    double seconds = -1;
    int64_t loops = 0;
    int64_t subsong = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        std::string_view value;
        bool missing = false;
        if (isHelp(args[i])) {
            std::fputs(std::string(kHelp).c_str(), stdout);
            return kExitOk;
        }
        if (matchOption(args, i, "-o", value, missing) || matchOption(args, i, "--output", value, missing)) {
            if (missing) return usageError("render", kHelp, "-o needs a file name");
            outPath = std::string(value);
        } else if (matchOption(args, i, "--seconds", value, missing)) {
            auto s = parseNumber(value, 0, kMaxSeconds);
            if (missing || !s) return usageError("render", kHelp, "--seconds needs a number from 0 to 10800");
            seconds = *s;
        } else if (matchOption(args, i, "--loops", value, missing)) {
            auto k = parseInteger(value, 1, 100);
            if (missing || !k) return usageError("render", kHelp, "--loops needs a number from 1 to 100");
            loops = *k;
        } else if (matchOption(args, i, "--subsong", value, missing)) {
            auto n = parseInteger(value, 0, 255);
            if (missing || !n) return usageError("render", kHelp, "--subsong needs a number from 0 to 255");
            subsong = *n;
        } else if (!songArgument.accept(args, i)) {
            return usageError("render", kHelp, "unexpected argument '" + std::string(args[i]) + "'");
        }
    }
    if (!songArgument.given()) return usageError("render", kHelp, "no SONG given");
    if (outPath.empty()) return usageError("render", kHelp, "no output file given (-o OUT.wav)");
    if (seconds >= 0 && loops > 0) {
        return usageError("render", kHelp, "--seconds and --loops exclude each other");
    }

    auto player = std::make_unique<ahx::Player>();
    if (!songArgument.load("render", player->song)) return kExitBadInput;
    const ahx::Song& song = player->song;
    if (subsong > song.subsongCount) {
        std::fprintf(stderr, "ahx render: %s: no subsong %d (the song has %d)\n", songArgument.name().c_str(),
                     int(subsong), int(song.subsongCount));
        return kExitUsage;
    }
    auto tables = std::make_unique<ahx::WaveTables>();

    int64_t total = 0;
    if (seconds >= 0) {
        total = int64_t(seconds * kSampleRate);
    } else {
        const int64_t passes = loops > 0 ? loops : 1;
        const int64_t limitSeconds = std::min<int64_t>(passes * kDefaultLimitSeconds, int64_t(kMaxSeconds));
        const SongSpan span = measureSong(song, *tables, int32_t(subsong), int32_t(passes),
                                          limitSeconds * ticksPerSecond(song.speedMultiplier));
        total = samplesForTicks(span.ticks, song.speedMultiplier);
    }

    player->bindWaveTables(tables.get());
    player->startSubsong(int32_t(subsong));
    auto output = std::make_unique<audio::MemoryOutput>();
    if (output->setup(kSampleRate, 16, kFramesPerBlock, 1.0f) == 0 || output->play(player.get()) == 0) {
        std::fprintf(stderr, "ahx render: cannot set up the mixer\n");
        return kExitBadInput;
    }

    SF_INFO info{};
    info.samplerate = kSampleRate;
    info.channels = 1;
    info.format = (endsWithNoCase(outPath, ".flac") ? SF_FORMAT_FLAC : SF_FORMAT_WAV) | SF_FORMAT_PCM_16;
    std::unique_ptr<SNDFILE, SndfileCloser> file(sf_open(outPath.c_str(), SFM_WRITE, &info));
    if (!file) return writeFailed(outPath, sf_strerror(nullptr));

    const bool showProgress = isatty(STDERR_FILENO) != 0;
    std::vector<int16_t> chunk(static_cast<size_t>(kChunkSamples));
    int64_t done = 0;
    int64_t nextReport = 0;
    while (done < total) {
        const int64_t n = std::min(kChunkSamples, total - done);
        output->renderPcm16(chunk.data(), n);
        if (sf_write_short(file.get(), chunk.data(), sf_count_t(n)) != sf_count_t(n)) {
            std::string why = sf_strerror(file.get());
            file.reset();
            removePartialOutput(outPath);
            return writeFailed(outPath, why.c_str());
        }
        done += n;
        if (showProgress && done >= nextReport) {
            std::fprintf(stderr, "\rahx render: %.1f / %.1f s", double(done) / kSampleRate,
                         double(total) / kSampleRate);
            nextReport = done + 10 * kSampleRate;
        }
    }
    if (showProgress) {
        std::fprintf(stderr, "\rahx render: %.1f s written to %s\n", double(total) / kSampleRate,
                     outPath.c_str());
    }
    if (sf_close(file.release()) != 0) {
        removePartialOutput(outPath);
        return writeFailed(outPath, "closing the file failed");
    }
    return kExitOk;
}

}  // namespace tools
