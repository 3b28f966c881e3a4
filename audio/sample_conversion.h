// Mixed 32-bit samples to the PCM the sound device plays.
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

// sample >> 2 (toward minus infinity), clamped to -128..127, stored offset by 128.
inline uint8_t toPcm8(int32_t sample) {
    int32_t v = sample >> 2;
    if (v > 127) v = 127;
    if (v < -128) v = -128;
    return uint8_t(v + 128);
}

// Writes `count` 16-bit little-endian samples to `out` (2 * count bytes).
void convertToPcm16(const int32_t* samples, int32_t count, uint8_t* out);
// Writes `count` unsigned 8-bit samples to `out`.
void convertToPcm8(const int32_t* samples, int32_t count, uint8_t* out);

}  // namespace audio
