#pragma once

// The disk's name and its ten tracks: what the title list shows and which
// "AHX" resource holds each song. Entry i of both arrays is the same track.
// All are generated from the pack the disk is made from (musicdisk.txt).

#include <cstdint>

#include "resource_ids.h"

namespace core {

inline constexpr int32_t trackCount = 10;

// The disk's name in the 8-bit code page: the window's title, and the page's.
extern const char diskName[];

// Display titles, zero-terminated 8-bit strings on one line each.
extern const char* const trackTitles[trackCount];

// Resource id of each song; -1 would mark a track that is listed but cannot be played.
inline constexpr const int32_t (&trackResourceIds)[trackCount] = resources::kTrackIds;

}  // namespace core
