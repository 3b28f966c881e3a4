#pragma once

// The frame generator of the noise textures.

#include <cstdint>

namespace render {

// 1/32767 in single precision: the largest draw, 32767, becomes exactly 1.0.
inline constexpr float kRandomToUnit = 1.0f / 32767.0f;

// Fills `height` rows of `width` texels with red, green and blue drawn from
// random15 in that order, each scaled to 0.0..1.0; draws 3 x width x height
// values.
void fillRandomFrame(float* frame, int32_t width, int32_t height);

}  // namespace render
