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
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "app/track_list.h"
#include "audio/mixer_output.h"
#include "audio/sample_conversion.h"
#include "resources/program_resources.h"

namespace {

constexpr int32_t kRate = 44100;
constexpr int32_t kFrames = 2;

class RenderOnly final : public audio::MixerOutput {
public:
    int startThread() override { return 0; }
    int stopThread() override { return 0; }
    int play(ahx::Player*) override { return 0; }
    int stop() override { return 0; }
    int pause() override { return 0; }
    int resume() override { return 0; }
    int setVolume(int32_t) override { return 0; }
    int spareOperation(int32_t, int32_t) override { return 0; }
};

int usage() {
    std::fprintf(stderr, "usage: render_track_sequence OUT.raw TRACK:BLOCKS [TRACK:BLOCKS ...]\n");
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) return usage();
    auto tables = std::make_unique<ahx::WaveTables>();
    auto player = std::make_unique<ahx::Player>();
    auto mixer = std::make_unique<RenderOnly>();
    std::vector<uint8_t> last;
    for (int i = 2; i < argc; ++i) {
        int track = 0;
        long blocks = 0;
        if (std::sscanf(argv[i], "%d:%ld", &track, &blocks) != 2 || track < 1 || track > app::trackCount ||
            blocks < 0 || blocks > 1000000) {
            return usage();
        }
        resources::ResourceData song =
            resources::findProgramResource("AHX", app::trackResourceIds[track - 1]);
        player->bindWaveTables(tables.get());
        if (player->loadSong(song.bytes, int32_t(song.size)) == 0) {
            std::fprintf(stderr, "render_track_sequence: track %d does not load\n", track);
            return 2;
        }
        player->startSubsong(0);
        mixer->setup(kRate, 16, kFrames, 1.0f);
        mixer->player = player.get();
        const int32_t samples = mixer->blockSamples();
        last.assign(size_t(blocks) * size_t(samples) * 2, 0);
        for (long b = 0; b < blocks; ++b) {
            mixer->renderBlock();
            audio::convertToPcm16(mixer->mixBuffer, samples, last.data() + size_t(b) * size_t(samples) * 2);
        }
    }
    std::FILE* out = std::fopen(argv[1], "wb");
    if (out == nullptr || std::fwrite(last.data(), 1, last.size(), out) != last.size() || std::fclose(out) != 0) {
        std::fprintf(stderr, "render_track_sequence: cannot write %s\n", argv[1]);
        return 2;
    }
    return 0;
}
