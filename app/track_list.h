#pragma once

// The ten tracks of the disk: what the title list shows and which "AHX"
// resource holds each song. Entry i of both arrays is the same track.

#include <cstdint>

namespace app {

inline constexpr int32_t trackCount = 10;

// Display titles, zero-terminated 8-bit strings on one line each.
extern const char* const trackTitles[trackCount];

// Resource id of each song; -1 would mark a track that is listed but cannot be played.
extern const int32_t trackResourceIds[trackCount];

}  // namespace app
