#pragma once

#include "shells/windows/gl_window.h"

namespace core {

// The window procedure of the program's window: mouse position, the click
// zones and keys of core/input.h, the media commands of WM_APPCOMMAND, and a
// close request turned into the end of the frame loop. All drawing is the frame loop's, through OpenGL.
LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace core
