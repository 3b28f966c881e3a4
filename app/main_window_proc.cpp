#include "app/main_window_proc.h"

#include "app/input.h"

namespace app {

namespace {

int32_t clientX(LPARAM lParam) {
    return int32_t(LOWORD(lParam));
}
int32_t clientY(LPARAM lParam) {
    return int32_t(HIWORD(lParam));
}

}  // namespace

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE:
            mouseMoved(clientX(lParam), clientY(lParam));
            break;
        case WM_LBUTTONDOWN:
            if (leftButtonDown(clientX(lParam), clientY(lParam))) PostQuitMessage(0);
            break;
        case WM_KEYDOWN:
            if (keyDown(uint32_t(wParam))) PostQuitMessage(0);
            break;
        case WM_CLOSE:
            // The window is not destroyed here: the frame loop ends on the quit
            // message and tears everything down in order.
            PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace app
