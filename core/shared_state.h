#pragma once

// The frame and input state that the window, the input handling and the
// renderer share. Plain globals, all read and written on the user-interface
// thread only, so none of them needs a lock.

#include <cstdint>

namespace core {

// Client size in pixels, 256 each once the entry function has run.
extern int32_t windowWidth;
extern int32_t windowHeight;

// Timer readings (milliseconds, wrapping at 2^32) at the start of the
// current and of the previous frame, and the frame's length in seconds.
extern uint32_t nowMs;
extern uint32_t prevMs;
extern float frameSeconds;

// Client position of the latest mouse message and the one before it.
extern int32_t mouseX;
extern int32_t mouseY;
extern int32_t prevMouseX;
extern int32_t prevMouseY;

// Index of the selected track in the track list.
extern int32_t currentTrack;
// How far the selected title has flown out: 0 right after a track change,
// 10 once it has arrived.
extern float titleZoom;
// Ends the frame loop after the message drain in which it is seen.
extern bool quitRequested;

// The message the ring of characters scrolls: one zero-terminated line of
// codes 32..122, ending in a gap of spaces.
extern const char scrollText[];
extern const int32_t scrollTextLength;

// Starts a frame at timer reading `now`: the previous reading moves to
// prevMs and frameSeconds becomes the time between them. The difference is
// taken as an unsigned 32-bit count, so a wrap of the timer still gives the
// true short duration.
void beginFrame(uint32_t now);

}  // namespace core
