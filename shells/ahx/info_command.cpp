// ahx info: what a song file holds and how long it plays.
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ahx/song.h"
#include "ahx/wave_tables.h"
#include "shells/ahx/command_line.h"
#include "shells/ahx/commands.h"
#include "shells/ahx/loudness.h"
#include "shells/ahx/song_argument.h"
#include "shells/ahx/song_end.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx info (SONG | --track N) [--loudness]\n"
    "\n"
    "Shows the song's header, its instruments and subsongs, and how long each\n"
    "subsong plays until it first comes back to a position it has played or\n"
    "stops (at most 15 minutes): the length `ahx render` writes by default.\n"
    "Beside it, whether the song ends (tempo 0) or loops forever, and where:\n"
    "the time it starts repeating itself, and the position, step and time it\n"
    "goes back to.\n"
    "\n"
    "  SONG                  an AHX song file, or its text form (.ahxt)\n"
    "  --track N             instead of SONG, tune N (1..10) of the musicdisk\n"
    "  --loudness            also renders that length in mono, as the device plays\n"
    "                        it, and measures it as EBU R128 does (libebur128):\n"
    "                        integrated loudness (LUFS), loudness range (LU),\n"
    "                        true peak (dBTP) and DC offset (dBFS, the mean\n"
    "                        sample), for the mix and for each channel alone,\n"
    "                        and the samples that hit the 16-bit clamp. Level a\n"
    "                        set of songs by their integrated loudness; keep\n"
    "                        the true peak below -1 dBTP for lossy encoders\n";

// Names come from the file: Latin-1 as the Amiga wrote them, shown as UTF-8,
// with control bytes replaced so a name cannot steer the terminal.
std::string printable(const std::string& text) {
    std::string out;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || (c >= 0x7F && c < 0xA0)) {
            out += '?';
        } else if (c < 0x80) {
            out += char(c);
        } else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// M:SS.ss of the output up to the end of tick `ticks`.
std::string clockTime(const ahx::Song& song, int64_t ticks) {
    const double seconds = double(samplesForTicks(ticks, song.speedMultiplier)) / kSampleRate;
    const int minutes = int(seconds / 60);
    char text[32];
    std::snprintf(text, sizeof text, "%d:%05.2f", minutes, seconds - minutes * 60);
    return text;
}

std::string describeFate(const ahx::Song& song, const ahx::WaveTables& tables, int32_t subsong) {
    const int64_t limit = kDefaultLimitSeconds * ticksPerSecond(song.speedMultiplier);
    const SongFate fate = decideFate(song, tables, subsong, limit);
    switch (fate.fate) {
        case Fate::stops:
            return "stops by itself (tempo 0) at " + clockTime(song, fate.ticks);
        case Fate::loopsForever:
            return "loops forever: at " + clockTime(song, fate.ticks) + " it goes back to position " +
                   std::to_string(fate.loopPosition) + ", step " + std::to_string(fate.loopStep) +
                   ", first played at " + clockTime(song, fate.loopTick);
        case Fate::undecided:
            break;
    }
    return "neither stops nor repeats itself within " + std::to_string(kDefaultLimitSeconds / 60) +
           " minutes";
}

std::string describeLength(const ahx::Song& song, const ahx::WaveTables& tables, int32_t subsong) {
    const int64_t limit = kDefaultLimitSeconds * ticksPerSecond(song.speedMultiplier);
    const SongSpan span = measureSong(song, tables, subsong, 1, limit);
    const int64_t samples = samplesForTicks(span.ticks, song.speedMultiplier);
    const double seconds = double(samples) / kSampleRate;
    char text[160];
    const int minutes = int(seconds / 60);
    switch (span.reason) {
        case EndReason::loopedBack:
            std::snprintf(text, sizeof text, "%.2f s (%d:%05.2f), then back to position %d", seconds, minutes,
                          seconds - minutes * 60, int(span.returnPosition));
            break;
        case EndReason::stopped:
            std::snprintf(text, sizeof text, "%.2f s (%d:%05.2f), then stopped by tempo 0", seconds, minutes,
                          seconds - minutes * 60);
            break;
        case EndReason::limit:
            std::snprintf(text, sizeof text, "more than %d minutes", int(kDefaultLimitSeconds / 60));
            break;
    }
    return text;
}

// "-14.2 LUFS"; "-inf" where nothing rose above the gate.
std::string level(double value, const char* unit) {
    char text[32];
    if (std::isinf(value)) {
        std::snprintf(text, sizeof text, "%6s %s", "-inf", unit);
    } else {
        std::snprintf(text, sizeof text, "%6.1f %s", value, unit);
    }
    return text;
}

void printLoudnessRow(const char* name, const LoudnessFigures& f) {
    if (f.silent) {
        std::printf("  %-10s silent\n", name);
        return;
    }
    std::printf("  %-10s %s  %s  %s  %s\n", name, level(f.integrated, "LUFS").c_str(),
                level(f.range, "LU").c_str(), level(f.truePeak, "dBTP").c_str(),
                level(f.dcOffset, "dBFS").c_str());
}

void printLoudness(const ahx::Song& song, const ahx::WaveTables& tables) {
    const int64_t limit = kDefaultLimitSeconds * ticksPerSecond(song.speedMultiplier);
    const SongSpan span = measureSong(song, tables, 0, 1, limit);
    const int64_t frames = samplesForTicks(span.ticks, song.speedMultiplier);
    const SongLoudness loudness = measureSongLoudness(song, tables, 0, frames);
    std::printf("loudness:         of the mono render, %s (the length above)\n",
                clockTime(song, span.ticks).c_str());
    std::printf("  %-10s %11s  %9s  %11s  %11s\n", "", "integrated", "range", "true peak", "DC offset");
    printLoudnessRow("mix", loudness.mix);
    for (int v = 0; v < audio::kVoices; ++v) {
        const std::string name = "channel " + std::to_string(v + 1);
        printLoudnessRow(name.c_str(), loudness.voices[v]);
    }
    if (loudness.mix.clipped == 0) {
        std::printf("clipped:          none\n");
    } else {
        std::printf("clipped:          %" PRId64 " samples at the 16-bit clamp\n", loudness.mix.clipped);
    }
}

}  // namespace

int runInfo(Args args) {
    bool loudness = false;
    std::vector<SongArgument> songs;
    CommandLine line("info", std::string(kHelp));
    addSongArguments(line, songs, false);
    line.flag("--loudness", loudness);
    if (auto done = line.parse(args)) return *done;
    if (songs.empty()) return line.usageError("no SONG given");
    SongArgument& songArgument = songs.front();

    auto song = std::make_unique<ahx::Song>();
    if (!songArgument.load("info", *song)) return kExitBadInput;
    auto tables = std::make_unique<ahx::WaveTables>();

    std::printf("file:             %s\n", songArgument.name().c_str());
    std::printf("title:            %s\n", printable(song->title).c_str());
    std::printf("revision:         %d\n", int(song->version));
    std::printf("speed multiplier: %d (%d ticks per second)\n", int(song->speedMultiplier),
                int(ticksPerSecond(song->speedMultiplier)));
    std::printf("positions:        %d\n", int(song->positionCount));
    // The player goes to position 0 wherever the song points outside its list.
    const char* outside = " (outside the list: the player goes to position 0)";
    std::printf("restart position: %d%s\n", int(song->restartPosition),
                song->restartPosition < song->positionCount ? "" : outside);
    std::printf("track length:     %d steps\n", int(song->trackLength));
    std::printf("tracks:           %d (0..%d)\n", int(song->highestTrack) + 1, int(song->highestTrack));
    std::printf("instruments:      %d\n", int(song->instrumentCount));
    for (int32_t i = 1; i <= song->instrumentCount && size_t(i) < song->instruments.size(); ++i) {
        std::printf("  %2d  %s\n", int(i), printable(song->instruments[size_t(i)].name).c_str());
    }
    std::printf("subsongs:         %d\n", int(song->subsongCount));
    std::printf("length:           %s\n", describeLength(*song, *tables, 0).c_str());
    std::printf("end:              %s\n", describeFate(*song, *tables, 0).c_str());
    for (int32_t s = 1; s <= song->subsongCount && size_t(s) <= song->subsongs.size(); ++s) {
        const int32_t start = song->subsongs[size_t(s - 1)];
        std::printf("  subsong %d at position %d%s: %s; %s\n", int(s), int(start),
                    start < song->positionCount ? "" : outside, describeLength(*song, *tables, s).c_str(),
                    describeFate(*song, *tables, s).c_str());
    }
    if (loudness) printLoudness(*song, *tables);
    return kExitOk;
}

}  // namespace tools
