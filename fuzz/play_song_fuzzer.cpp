// libFuzzer target: whatever song loads must play without a read outside
// the song or the waveform bank, and keep every voice's output in range;
// and no interleaving of loads (good, other, failing), subsong starts,
// ticks and mixed blocks may read a song that a load has replaced.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ahx/player.h"
#include "ahx/song_image.h"
#include "audio/memory_output.h"
#include "audio/stream_format.h"
#include "support/synthetic_songs.h"

namespace {

const ahx::WaveTables& bank() {
    static const auto* tables = new ahx::WaveTables;
    return *tables;
}

// A song whose four voices are busy with instruments and playlists from the
// first step: what a stale pointer would be left on.
const std::vector<uint8_t>& busySong() {
    static const auto* bytes =
        new std::vector<uint8_t>(ahx::writeSongImage(ahx::imageOf(synthetic::busySong(9))));
    return *bytes;
}

void checkVoices(const ahx::Player& player) {
    for (const ahx::Voice& v : player.voices) {
        if (v.outVolume < 0 || v.outVolume > 64) __builtin_trap();
        if (v.outPeriod != 0 && (v.outPeriod < 113 || v.outPeriod > 3424)) __builtin_trap();
        if (v.outWave[640] != v.outWave[0]) __builtin_trap();
    }
}

// The last bytes of the input, read as a script of player calls.
void interleave(const std::vector<uint8_t>& image) {
    const std::vector<uint8_t>& busy = busySong();
    const std::vector<uint8_t> cut(busy.begin(), busy.begin() + std::ptrdiff_t(busy.size() / 3));
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&bank());
    audio::MemoryOutput output;
    output.setup(audio::kSampleRate, audio::kBitsPerSample, audio::kFramesPerBlock, 1.0f);
    output.play(player.get());
    std::vector<int16_t> pcm(audio::kBlockSamples / 2);
    const size_t steps = image.size() < 24 ? image.size() : 24;
    for (size_t i = image.size() - steps; i < image.size(); ++i) {
        const int argument = image[i] / 8;
        switch (image[i] % 8) {
            case 0:
                player->loadSong(image.data(), int32_t(image.size()));
                break;
            case 1:
                if (player->loadSong(busy.data(), int32_t(busy.size())) != 1) __builtin_trap();
                break;
            case 2:
                if (player->loadSong(cut.data(), int32_t(cut.size())) != 0) __builtin_trap();
                break;
            case 3:
                player->loadSong(nullptr, argument);
                break;
            case 4:
                player->startSubsong(argument % 4);
                break;
            case 5:
                for (int t = 0; t <= argument; ++t) player->tick();
                break;
            default:
                output.renderPcm16(pcm.data(), int64_t(pcm.size()));
                break;
        }
        checkVoices(*player);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 20000) return 0;
    std::vector<uint8_t> image(data, data + size);
    interleave(image);

    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&bank());
    if (player->loadSong(image.data(), int32_t(image.size())) != 1) return 0;

    audio::MemoryOutput output;
    output.setup(audio::kSampleRate, audio::kBitsPerSample, audio::kFramesPerBlock, 1.0f);
    output.setOption(1, int32_t(size & 1));  // both mixing modes
    std::vector<int16_t> pcm(audio::kBlockSamples);
    for (int32_t subsong = 0; subsong <= player->song.subsongCount && subsong < 3; ++subsong) {
        if (player->startSubsong(subsong) != 1) __builtin_trap();
        output.play(player.get());
        // A second: several steps at the tempos songs use, and many frames of
        // playlists, slides and modulation.
        for (int block = 0; block < 25; ++block) {
            output.renderPcm16(pcm.data(), int64_t(pcm.size()));
            checkVoices(*player);
        }
    }
    return 0;
}
