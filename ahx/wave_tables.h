// The generated waveform bank: 63 wave sets of triangles, sawtooths, 32
// square widths and white noise, each low-pass and high-pass filtered at 31
// strengths around the unfiltered set 31.
#pragma once

#include <cstddef>
#include <cstdint>

namespace ahx {

inline constexpr int kWaveSetCount = 63;
inline constexpr int kWaveSetSize = 6520;
inline constexpr int kUnfilteredSet = 31;
inline constexpr size_t kWaveTablesSize = size_t(kWaveSetCount) * kWaveSetSize;  // 410760

// Offsets inside one wave set.
inline constexpr int kTriangleWavesOffset = 0;
inline constexpr int kSawtoothWavesOffset = 252;
inline constexpr int kSquareWavesOffset = 504;
inline constexpr int kNoiseWaveOffset = 4600;
inline constexpr int kSquareWaveSize = 128;
inline constexpr int kNoiseWaveSize = 1920;

// Where the wave of length 4 << waveLength starts inside the triangle and
// sawtooth blocks.
inline constexpr int32_t waveLengthOffsets[6] = {0, 4, 12, 28, 60, 124};

struct WaveTables {
    WaveTables();

    // Set s (0..62) begins at s * kWaveSetSize.
    int8_t samples[kWaveTablesSize];

    const int8_t* waveSet(int s) const { return samples + size_t(s) * kWaveSetSize; }
};

}  // namespace ahx
