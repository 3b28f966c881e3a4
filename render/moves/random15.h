#pragma once

// The one source of randomness of the visuals: the noise frames and the
// title flicker draw from it in a fixed order, so every run shows the same
// pictures.

#include <cstdint>

namespace render {

// State of the generator; 1 when the program starts and never reseeded by it.
// Tests set it to replay a sequence from a known point.
extern uint32_t random15State;

// The next value, 0..32767.
int32_t random15();

}  // namespace render
