// ahx trace: the voices' output after every tick, one line per tick, for
// finding where two replays part.
#include <zlib.h>

#include <cinttypes>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "shells/ahx/command_line.h"
#include "shells/ahx/commands.h"
#include "shells/ahx/mix_options.h"
#include "shells/ahx/song_argument.h"

namespace tools {

namespace {

constexpr std::string_view kHelp =
    "usage: ahx trace (SONG | --track N) --ticks N [--subsong N] [--mute C,.. | --solo C,..]\n"
    "\n"
    "Plays N ticks from the start and prints, after each, the tick index (from\n"
    "0) and for voices 0 to 3 their volume, period and the CRC-32 of their\n"
    "641-byte waveform as 8 hex digits:\n"
    "  TICK VOL0 PERIOD0 CRC0 VOL1 PERIOD1 CRC1 VOL2 PERIOD2 CRC2 VOL3 PERIOD3 CRC3\n"
    "A channel left out by --mute or --solo shows '- - -' in its three columns.\n"
    "\n"
    "  SONG                  an AHX song file, or its text form (.ahxt)\n"
    "  --track N             instead of SONG, tune N (1..10) of the musicdisk\n"
    "  --ticks N             ticks to play (0 or more)\n"
    "  --subsong N           start subsong N instead of the main song (0)\n"
    "  --mute C,..           leave out channels C (1..4), such as --mute 2,4\n"
    "  --solo C,..           show only channels C\n";

constexpr int64_t kMaxTicks = int64_t(1) << 40;

}  // namespace

int runTrace(Args args) {
    std::vector<SongArgument> songs;
    int64_t ticks = -1;
    int64_t subsong = 0;
    MixOptions mix;
    CommandLine line("trace", std::string(kHelp));
    addSongArguments(line, songs, false);
    line.number("--ticks", ticks, 0, kMaxTicks, "--ticks needs a whole number of 0 or more");
    line.number("--subsong", subsong, 0, 255, "--subsong needs a number from 0 to 255");
    addMixOptions(line, mix, false);
    if (auto done = line.parse(args)) return *done;
    if (const std::string error = checkMixOptions(mix); !error.empty()) return line.usageError(error);
    if (songs.empty()) return line.usageError("no SONG given");
    if (ticks < 0) return line.usageError("--ticks N is required");
    SongArgument& songArgument = songs.front();

    auto player = std::make_unique<ahx::Player>();
    if (!songArgument.load("trace", player->song)) return kExitBadInput;
    if (subsong > player->song.subsongCount) {
        std::fprintf(stderr, "ahx trace: %s: no subsong %d (the song has %d)\n", songArgument.name().c_str(),
                     int(subsong), int(player->song.subsongCount));
        return kExitUsage;
    }
    auto tables = std::make_unique<ahx::WaveTables>();
    player->bindWaveTables(tables.get());
    player->startSubsong(int32_t(subsong));

    for (int64_t t = 0; t < ticks; ++t) {
        player->tick();
        std::printf("%" PRId64, t);
        for (int k = 0; k < ahx::kChannels; ++k) {
            if (!mix.heard(k)) {
                std::fputs(" - - -", stdout);
                continue;
            }
            const ahx::Voice& v = player->voices[k];
            const auto* wave = reinterpret_cast<const Bytef*>(v.outWave);
            const uLong crc = crc32(0L, wave, uInt(sizeof v.outWave));
            std::printf(" %d %d %08lx", int(v.outVolume), int(v.outPeriod), crc);
        }
        // Standard output is checked again when the command ends; this only stops early.
        if (std::putchar('\n') == EOF) return kExitOk;
    }
    return kExitOk;
}

}  // namespace tools
