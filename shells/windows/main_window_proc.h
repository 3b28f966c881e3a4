#pragma once

#include "core/track_control.h"
#include "shells/windows/gl_window.h"

namespace windows {

// Makes `tracks` what the window's zones, keys and media commands drive. It
// is kept with the window, so it must outlive the window; input that comes
// before it is bound acts on nothing.
void bindTrackControl(HWND window, core::TrackControl& tracks);

// The window procedure of the program's window: mouse position, the click
// zones and keys of core/input.h, the media commands of WM_APPCOMMAND, and a
// close request turned into the end of the frame loop. All drawing is the
// frame loop's, through OpenGL.
LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace windows
