#pragma once

// The program's one window: a hidden borderless popup, centred on the
// screen, with a double-buffered OpenGL context current on this thread.

#include <windows.h>

#include <cstdint>

#include "resource_ids.h"

namespace windows {

// The window's class name; its title is the disk's name (the same for the
// shipped disk).
inline constexpr char kWindowClassName[] = "veltrane::music";
inline constexpr int32_t kIconResourceId = resources::kIconId;

// Registers the window class, creates the window (not yet visible), sets
// its pixel format and makes a new OpenGL context current. Writes the device
// context and the rendering context through the out-pointers. On a failure
// after the class is registered it shows what went wrong (showSetupError)
// and answers no window.
HWND createGLWindow(WNDPROC windowProc, int32_t width, int32_t height, HDC* dcOut, HGLRC* contextOut);

// Shows a set-up failure to the user: a message box captioned "ERROR" with
// the warning icon and no owner window. Tests link a recorder instead.
void showSetupError(const char* text);

}  // namespace windows
