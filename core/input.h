#pragma once

// The program's whole input: five click zones on the skin, the keys, and
// the commands of the system's media controls. The shells translate their
// window's events into these calls; a call that answers true has asked the
// program to quit, and the shell then ends its frame loop the way its
// platform does (a posted quit message on Windows).

#include <cstdint>

namespace core {

class TrackControl;

enum class Zone { none, previous, pause, resume, next, close };

// The zone under a client point (x to the right, y downwards). The bounds
// are exclusive: previous is x 81..105, pause 108..137, resume 140..170 and
// next 173..205, all at y 41..71; close is x 33..40, y 59..66.
Zone zoneAt(int32_t x, int32_t y);

// Virtual-key codes of the keys (Windows' codes; a browser's keyCode too).
inline constexpr uint32_t kKeyEscape = 27;
inline constexpr uint32_t kKeySpace = 32;
inline constexpr uint32_t kKeyUp = 38;
inline constexpr uint32_t kKeyDown = 40;
inline constexpr uint32_t kKeyMediaNext = 0xB0;
inline constexpr uint32_t kKeyMediaPrevious = 0xB1;
inline constexpr uint32_t kKeyMediaStop = 0xB2;
inline constexpr uint32_t kKeyMediaPlayPause = 0xB3;

// What a music player's controls ask for, from media keys or the system's
// media controls. The values are the web page's too (shells/web/shell.js).
enum class MediaCommand { next = 0, previous = 1, playPause = 2, play = 3, pause = 4, stop = 5 };

// A mouse move to (x, y): the previous position is kept for the renderer.
void mouseMoved(int32_t x, int32_t y);
// A left-button press at (x, y): recorded like a move, then the action of
// the zone under it, if any. The track zones and keys select the track on
// `tracks`, which plays it after the drain (playSelectedTrack); pause and
// resume act on its output.
bool leftButtonDown(TrackControl& tracks, int32_t x, int32_t y);
// A key press; `repeat` marks the auto-repeats of a held key. Up, Down and
// the media track keys change tracks on every press and repeat; Space and
// the media play/pause key toggle pause on a press only, so a held key does
// not flutter; the media stop key pauses; Escape quits.
bool keyDown(TrackControl& tracks, uint32_t virtualKey, bool repeat = false);
// Next and previous change tracks like the arrow keys; play/pause pauses
// when the sound plays and resumes when it is paused; stop pauses, so that
// play goes on where it stopped. Never asks to quit.
void mediaCommand(TrackControl& tracks, MediaCommand command);
// The media command of a media key, or false for any other key.
bool mediaCommandOfKey(uint32_t virtualKey, MediaCommand* command);

}  // namespace core
