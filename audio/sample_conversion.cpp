#include "audio/sample_conversion.h"

namespace audio {

void convertToPcm16(const int32_t* samples, int32_t count, uint8_t* out) {
    for (int32_t i = 0; i < count; ++i) {
        auto v = uint16_t(toPcm16(samples[i]));
        out[2 * i] = uint8_t(v & 0xFF);
        out[2 * i + 1] = uint8_t(v >> 8);
    }
}

void convertToPcm8(const int32_t* samples, int32_t count, uint8_t* out) {
    for (int32_t i = 0; i < count; ++i) out[i] = toPcm8(samples[i]);
}

}  // namespace audio
