#include "audio/sample_conversion.h"

namespace audio {

void packPcm(const int16_t* samples, int32_t count, int32_t bitsPerSample, uint8_t* out) {
    if (bitsPerSample == 16) {
        for (int32_t i = 0; i < count; ++i) {
            const auto v = uint16_t(samples[i]);
            out[2 * i] = uint8_t(v & 0xFF);
            out[2 * i + 1] = uint8_t(v >> 8);
        }
    } else if (bitsPerSample == 8) {
        for (int32_t i = 0; i < count; ++i) out[i] = uint8_t((samples[i] >> 8) + 128);
    }
}

}  // namespace audio
