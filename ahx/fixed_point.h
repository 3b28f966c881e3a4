// The replayer's arithmetic: 32-bit registers that wrap, volume factors of
// 0..64 and the envelope's 8.8 fixed point.
#pragma once

#include <cstdint>

namespace ahx {

// Slide offsets, square and filter positions and the jump position grow
// without bound while a song keeps pushing them one way; they wrap like the
// 32-bit registers they model instead of overflowing.
constexpr int32_t wrappingAdd(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) + uint32_t(b));
}
constexpr int32_t wrappingSub(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) - uint32_t(b));
}
constexpr int32_t wrappingMul(int32_t a, int32_t b) {
    return int32_t(uint32_t(a) * uint32_t(b));
}
constexpr int32_t wrappingShiftLeft(int32_t a, int32_t bits) {
    return int32_t(uint32_t(a) << bits);
}

// A volume factor: 64 keeps a value as it is, 0 silences it.
inline constexpr int32_t kFullVolume = 64;
constexpr int32_t scaleByVolume(int32_t value, int32_t factor) {
    return (value * factor) >> 6;
}

// The envelope keeps its volume with 8 bits of fraction, so that slow
// phases still move.
constexpr int32_t envelopeFromVolume(int32_t volume) {
    return volume * 256;
}
constexpr int32_t volumeFromEnvelope(int32_t envelopeVolume) {
    return envelopeVolume >> 8;
}

}  // namespace ahx
