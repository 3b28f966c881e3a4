// libFuzzer target: whatever song loads must play without a read outside
// the song or the waveform bank, and keep every voice's output in range.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "ahx/player.h"
#include "audio/memory_output.h"

namespace {

const ahx::WaveTables& bank() {
    static const auto* tables = new ahx::WaveTables;
    return *tables;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 20000) return 0;
    std::vector<uint8_t> image(data, data + size);
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&bank());
    if (ahx::loadSong(player->song, image.data(), int32_t(image.size())) != 1) return 0;

    audio::MemoryOutput output;
    output.setup(44100, 16, 2, 1.0f);
    output.setOption(1, int32_t(size & 1));  // both mixing modes
    std::vector<int16_t> pcm(1764);
    for (int32_t subsong = 0; subsong <= player->song.subsongCount && subsong < 3; ++subsong) {
        if (player->startSubsong(subsong) != 1) __builtin_trap();
        output.play(player.get());
        // A second: several steps at the tempos songs use, and many frames of
        // playlists, slides and modulation.
        for (int block = 0; block < 25; ++block) {
            output.renderPcm16(pcm.data(), int64_t(pcm.size()));
            for (const ahx::Voice& v : player->voices) {
                if (v.outVolume < 0 || v.outVolume > 64) __builtin_trap();
                if (v.outPeriod != 0 && (v.outPeriod < 113 || v.outPeriod > 3424)) __builtin_trap();
                if (v.outWave[640] != v.outWave[0]) __builtin_trap();
            }
        }
    }
    return 0;
}
