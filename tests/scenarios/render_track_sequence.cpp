// Renders what the musicdisk plays after a series of track changes: one
// player and one mixer carry their state from track to track, as in the
// program, where the voices' positions and the noise run on.
//
//   render_track_sequence OUT.raw TRACK:BLOCKS [TRACK:BLOCKS ...]
//
// Each TRACK (1..10) is loaded and started as a track change does, then
// BLOCKS blocks of 40 ms are rendered from it. Only the last track's blocks
// are written to OUT.raw, as 16-bit little-endian mono PCM at 44100 Hz: the
// earlier ones only bring the state to where the change found it.
#include <cstdio>
#include <memory>
#include <vector>

#include "ahx/player.h"
#include "audio/memory_output.h"
#include "audio/stream_format.h"
#include "core/track_list.h"
#include "resources/program_resources.h"

namespace {

int usage() {
    std::fprintf(stderr, "usage: render_track_sequence OUT.raw TRACK:BLOCKS [TRACK:BLOCKS ...]\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    auto tables = std::make_unique<ahx::WaveTables>();
    auto player = std::make_unique<ahx::Player>();
    // One output for every track, like the program's one device: its voice
    // positions run on from track to track.
    auto output = std::make_unique<audio::MemoryOutput>();
    std::vector<int16_t> last;
    for (int i = 2; i < argc; ++i) {
        int track = 0;
        long blocks = 0;
        if (std::sscanf(argv[i], "%d:%ld", &track, &blocks) != 2 || track < 1 || track > core::trackCount ||
            blocks < 0 || blocks > 1000000) {
            return usage();
        }
        resources::ResourceData song =
            resources::findProgramResource("AHX", core::trackResourceIds[track - 1]);
        player->bindWaveTables(tables.get());
        if (player->loadSong(song.bytes, int32_t(song.size)) == 0) {
            std::fprintf(stderr, "render_track_sequence: track %d does not load\n", track);
            return 2;
        }
        player->startSubsong(0);
        output->setup(audio::kSampleRate, audio::kBitsPerSample, audio::kFramesPerBlock, 1.0f);
        output->play(player.get());
        last.assign(size_t(blocks) * size_t(output->blockSamples()), 0);
        output->renderPcm16(last.data(), int64_t(last.size()));
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(last.data(), 2, last.size(), out) != last.size() ||
        std::fclose(out) != 0) {
        std::fprintf(stderr, "render_track_sequence: cannot write %s\n", argv[1]);
        return 2;
    }
    return 0;
}
