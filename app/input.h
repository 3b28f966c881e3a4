#pragma once

// The program's whole input: five click zones on the skin and three keys.
// The shells translate their window's events into these calls; a call that
// answers true has asked the program to quit, and the shell then ends its
// frame loop the way its platform does (a posted quit message on Windows).

#include <cstdint>

namespace app {

enum class Zone { none, previous, pause, resume, next, close };

// The zone under a client point (x to the right, y downwards). The bounds
// are exclusive: previous is x 81..105, pause 108..137, resume 140..170 and
// next 173..205, all at y 41..71; close is x 33..40, y 59..66.
Zone zoneAt(int32_t x, int32_t y);

// Virtual-key codes of the three keys.
inline constexpr uint32_t kKeyEscape = 27;
inline constexpr uint32_t kKeyUp = 38;
inline constexpr uint32_t kKeyDown = 40;

// A mouse move to (x, y): the previous position is kept for the renderer.
void mouseMoved(int32_t x, int32_t y);
// A left-button press at (x, y): recorded like a move, then the action of
// the zone under it, if any. The track zones and keys select the track; the
// shell plays it after its drain (playSelectedTrack).
bool leftButtonDown(int32_t x, int32_t y);
// A key press, repeats included: Up and Down change tracks, Escape quits.
bool keyDown(uint32_t virtualKey);

}  // namespace app
