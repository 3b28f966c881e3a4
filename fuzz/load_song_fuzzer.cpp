// libFuzzer target: any byte string must load or be rejected without a read
// outside it, and a loaded song must write back to an image that loads.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "ahx/song.h"
#include "ahx/song_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 200000) return 0;
    // An exact-size copy, so that AddressSanitizer sees any read past the end.
    std::vector<uint8_t> image(data, data + size);
    ahx::Song song;
    if (ahx::loadSong(song, image.data(), int32_t(image.size())) != 1) {
        if (song.positionCount != 0 || !song.tracks.empty() || !song.instruments.empty()) __builtin_trap();
        return 0;
    }
    if (song.positionCount < 1 || song.trackLength < 1) __builtin_trap();
    if (int32_t(song.tracks.size()) != song.highestTrack + 1) __builtin_trap();
    for (const ahx::Instrument& ins : song.instruments) {
        if (ins.volume > 64 || ins.attackVolume > 64 || ins.decayVolume > 64 || ins.releaseVolume > 64) __builtin_trap();
        if (ins.waveLength > 5) __builtin_trap();
    }
    // What loaded writes back to an image that loads to the same bytes again.
    std::vector<uint8_t> written = ahx::writeSong(song);
    if (written.empty()) return 0;  // strings beyond the 16-bit offsets an image can hold
    ahx::Song again;
    if (ahx::loadSong(again, written.data(), int32_t(written.size())) != 1) __builtin_trap();
    if (ahx::writeSong(again) != written) __builtin_trap();
    return 0;
}
