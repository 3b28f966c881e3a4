#include "shells/windows/skin_window.h"

namespace windows {

int32_t skinMessageCount = 0;

namespace {

// A copy of `source` for a window to own.
HRGN copyOf(HRGN source) {
    HRGN copy = CreateRectRgn(0, 0, 0, 0);
    if (copy != nullptr && CombineRgn(copy, source, nullptr, RGN_COPY) == ERROR) {
        DeleteObject(copy);
        return nullptr;
    }
    return copy;
}

bool leftButtonHeld() {
    return (GetKeyState(VK_LBUTTON) & 0x8000) != 0;
}

// Set while the system's move loop runs. The loop repaints the window as it
// comes back on screen, and a caption press from that repaint would start a
// second loop inside the first: the inner one ends on the release, and the
// outer one then waits for a release that never comes.
bool moving = false;

}  // namespace

LRESULT CALLBACK skinWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* skin = static_cast<SkinWindow*>(GetPropA(window, kSkinProperty));
    if (skin == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    if (message == WM_PAINT || message == WM_LBUTTONDOWN) {
        int32_t seen = skinMessageCount++;
        // The caption press runs the system's move loop until the button comes
        // up. Started with the button already up (a repaint), that loop would
        // hold the frame loop until the next click, so it runs only on a press.
        if (seen > 1 && !moving && leftButtonHeld()) {
            moving = true;
            SendMessageA(window, WM_NCLBUTTONDOWN, HTCAPTION, 0);
            moving = false;
        }
    }
    return CallWindowProcA(skin->previousProc, window, message, wParam, lParam);
}

SkinWindow::~SkinWindow() {
    detach();
    if (memoryDC != nullptr) {
        if (previousBitmap != nullptr) SelectObject(memoryDC, previousBitmap);
        DeleteDC(memoryDC);
    }
    if (bitmap != nullptr) DeleteObject(bitmap);
    if (region != nullptr) DeleteObject(region);
}

bool SkinWindow::loadRegion(uint16_t resourceId) {
    HMODULE module = GetModuleHandleA(nullptr);
    HRSRC found = FindResourceA(module, MAKEINTRESOURCEA(resourceId), "SKINREGION");
    if (found == nullptr) return false;
    HGLOBAL loaded = LoadResource(module, found);
    if (loaded == nullptr) return false;
    DWORD size = SizeofResource(module, found);
    const auto* data = static_cast<const RGNDATA*>(LockResource(loaded));
    HRGN built = data == nullptr ? nullptr : ExtCreateRegion(nullptr, size, data);
    FreeResource(loaded);
    if (built == nullptr) return false;
    if (region != nullptr) DeleteObject(region);
    region = built;
    if (memoryDC == nullptr) memoryDC = CreateCompatibleDC(nullptr);
    return memoryDC != nullptr;
}

bool SkinWindow::attach(HWND target) {
    if (attached) detach();
    window = target;
    SetWindowRgn(window, copyOf(region), TRUE);
    previousProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(skinWindowProc)));
    if (!SetPropA(window, kSkinProperty, this)) {
        SetWindowRgn(window, nullptr, TRUE);
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc));
        attached = false;
        return false;
    }
    attached = previousProc != nullptr;
    InvalidateRect(window, nullptr, TRUE);
    return attached;
}

bool SkinWindow::detach() {
    if (!attached) return false;
    SetWindowRgn(window, nullptr, TRUE);
    bool restored = SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previousProc)) != 0;
    RemovePropA(window, kSkinProperty);
    attached = !restored;
    InvalidateRect(window, nullptr, TRUE);
    return !attached;
}

}  // namespace windows
