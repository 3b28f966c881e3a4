#pragma once

// The skin's outline as the shells without Windows regions use it: the
// rectangles of the "SKINREGION" resource (a Windows region-data block) and
// an SVG path of their union, which shapes the web page's window.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace core {

struct OutlineRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;   // exclusive
    int32_t bottom = 0;  // exclusive
};

// The rectangles of a region-data block: a 32-byte header (its own size 32,
// type 1 for rectangles, the count, the data size, the bounds) and then
// `count` rectangles of four little-endian 32-bit values. Empty rectangles
// are left out. Answers false, and no rectangles, for anything else: a block
// too short for its header or for the rectangles it counts, another header
// size or type.
bool readOutline(const uint8_t* bytes, size_t size, std::vector<OutlineRect>& rects);

// One closed subpath per rectangle, all drawn clockwise, so that the nonzero
// rule fills their union: "M0 0H10V5H0Z...".
std::string outlinePath(const std::vector<OutlineRect>& rects);

}  // namespace core
