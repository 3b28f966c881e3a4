#include "shells/windows/gl_window.h"

#include "core/track_list.h"

namespace windows {

namespace {

// 32-bit RGBA, double-buffered, 16-bit depth; no stencil, alpha or accumulation.
PIXELFORMATDESCRIPTOR pixelFormat() {
    PIXELFORMATDESCRIPTOR descriptor{};
    descriptor.nSize = sizeof(PIXELFORMATDESCRIPTOR);
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = 32;
    descriptor.cDepthBits = 16;
    descriptor.iLayerType = PFD_MAIN_PLANE;
    return descriptor;
}

HWND failWith(const char* text) {
    showSetupError(text);
    return nullptr;
}

}  // namespace

HWND createGLWindow(WNDPROC windowProc, int32_t width, int32_t height, HDC* dcOut, HGLRC* contextOut) {
    HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.style = CS_OWNDC;
    windowClass.lpfnWndProc = windowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon =
        static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(kIconResourceId), IMAGE_ICON, 32, 32, 0));
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = kWindowClassName;
    if (RegisterClassA(&windowClass) == 0) return nullptr;

    int x = (GetSystemMetrics(SM_CXSCREEN) - width) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - height) / 2;
    HWND window = CreateWindowExA(0, kWindowClassName, core::diskName, WS_POPUP, x, y, width, height, nullptr,
                                  nullptr, instance, nullptr);
    // Everything after this needs the window; without it the frame loop would
    // wait for messages that can never come.
    if (window == nullptr) return failWith("Can't Create The Window.");

    HDC dc = GetDC(window);
    *dcOut = dc;
    if (dc == nullptr) return failWith("Can't Create A GL Device Context.");
    PIXELFORMATDESCRIPTOR descriptor = pixelFormat();
    int format = ChoosePixelFormat(dc, &descriptor);
    if (format == 0) return failWith("Can't Find A Suitable PixelFormat.");
    if (!SetPixelFormat(dc, format, &descriptor)) return failWith("Can't Set The PixelFormat.");
    HGLRC context = wglCreateContext(dc);
    *contextOut = context;
    if (context == nullptr) return failWith("Can't Create A GL Rendering Context.");
    if (!wglMakeCurrent(dc, context)) return failWith("Can't Activate The GL Rendering Context.");
    return window;
}

}  // namespace windows
