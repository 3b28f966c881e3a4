#pragma once

// The ring of characters around the cube: ten slots 36 degrees apart that
// turn together and scroll the message by one character per 36 degrees.

#include <cstdint>

namespace render {

inline constexpr int32_t kRingSlots = 10;
inline constexpr float kRingSlotDegrees = 36.0f;

// Turns the ring by `seconds` x 80 degrees. Past 36 degrees the angle falls
// back to exactly 0 and the index moves on by one character, however far
// the angle went; at exactly 36 it does not move on yet.
void advanceScroll(float& scrollAngle, int32_t& scrollIndex, float seconds);

// Angle of slot `slot` about the vertical axis, in degrees: 180 is nearest
// the viewer.
float ringSlotAngle(int32_t slot, float scrollAngle);

// Vertical stretch of a character at ring angle `angle`: 2 nearest the
// viewer, 1 at the sides, 0 at the back.
float ringSlotStretch(float angle);

// The near half of the ring (slots 3 to 7) is drawn in front of the cube;
// the other slots hide behind it.
bool ringSlotDepthTested(int32_t slot);

// Character code shown in slot `slot`: the text wraps to its start after its
// last character. An empty text shows code 0, which has no drawing.
uint8_t ringSlotCode(const char* text, int32_t length, int32_t scrollIndex, int32_t slot);

}  // namespace render
