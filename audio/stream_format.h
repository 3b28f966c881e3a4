#pragma once

// How the program streams every song, and so what the tool renders and the
// tests compare against: mono 16-bit samples at 44100 Hz, in blocks of two
// replay frames (40 ms at 50 frames a second), sixteen of them queued ahead.

#include <cstdint>

namespace audio {

inline constexpr int32_t kSampleRate = 44100;
inline constexpr int32_t kBitsPerSample = 16;
inline constexpr int32_t kFramesPerBlock = 2;
inline constexpr int32_t kBlockSamples = kSampleRate * kFramesPerBlock / 50;
inline constexpr int32_t kBlockCount = 16;

}  // namespace audio
