// Mixed 32-bit samples to the PCM the sound devices play.
#pragma once

#include <cstdint>

namespace audio {

// sample << 6, clamped to -32768..32767.
inline int16_t toPcm16(int32_t sample) {
    int64_t v = int64_t(sample) * 64;
    if (v > 32767) return 32767;
    if (v < -32768) return -32768;
    return int16_t(v);
}

// Writes `count` 16-bit samples as `bitsPerSample` PCM: 16 as signed
// little-endian (2 * count bytes), 8 as the top byte offset by 128 (count
// bytes), which for a mixed sample s is s >> 2 clamped to -128..127. Any
// other size writes nothing.
void packPcm(const int16_t* samples, int32_t count, int32_t bitsPerSample, uint8_t* out);

}  // namespace audio
