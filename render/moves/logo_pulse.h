#pragma once

// The logo word is drawn as a column of copies whose widths pulse one after
// the other.

#include <cstdint>

namespace render {

inline constexpr int32_t kLogoCopies = 5;

// Width factor of copy `copy` (0 at the top) at timer reading nowMs: swings
// between -2 and 2 (negative shows the word mirrored) with a period of
// 600 x pi ms, each copy half a radian behind the one above it.
float logoWidthScale(uint32_t nowMs, int32_t copy);

// Vertical place of copy `copy` relative to the first: a quarter unit apart.
float logoCopyOffset(int32_t copy);

}  // namespace render
