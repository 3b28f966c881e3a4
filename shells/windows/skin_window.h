#pragma once

// Gives the window the irregular outline of the skin and lets the user drag
// it by any point: a window region built from the outline resource, and a
// subclass procedure that turns presses into the system's caption drag
// before passing every message on to the window's own procedure.

#include <cstdint>

#include "resource_ids.h"
#include "shells/windows/gl_window.h"

namespace windows {

// Window property under which the record's address is kept.
inline constexpr char kSkinProperty[] = "skin";
// Resource "SKINREGION" of the program: the outline as a region-data block.
inline constexpr uint16_t kSkinRegionId = resources::kSkinRegionId;

// WM_PAINT and WM_LBUTTONDOWN messages seen by skinWindowProc, both kinds in
// one count, never reset.
extern int32_t skinMessageCount;

LRESULT CALLBACK skinWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

class SkinWindow {
public:
    SkinWindow() = default;
    // Detaches, then frees the device context, bitmap and region it owns.
    virtual ~SkinWindow();
    SkinWindow(const SkinWindow&) = delete;
    SkinWindow& operator=(const SkinWindow&) = delete;

    // Builds the outline region from resource "SKINREGION" `resourceId`, and
    // a memory device context. False when either cannot be made.
    bool loadRegion(uint16_t resourceId);
    // Sets the outline on the window and subclasses it; an attached record is
    // detached first, so a window is never subclassed twice. Answers whether
    // the record is now attached.
    bool attach(HWND target);
    // True if the record was attached and now is not.
    bool detach();

    HWND window = nullptr;
    WNDPROC previousProc = nullptr;
    // The outline. The record keeps it for its whole life and hands each
    // window it attaches to a copy, since the window frees what it is given.
    HRGN region = nullptr;
    HDC memoryDC = nullptr;
    HBITMAP bitmap = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    bool attached = false;
};

}  // namespace windows
