#include "shells/windows/entry.h"

#include <mmsystem.h>

#include "core/musicdisk.h"
#include "core/shared_state.h"
#include "core/track_control.h"
#include "render/draws/frame_renderer.h"
#include "shells/windows/main_window_proc.h"
#include "shells/windows/skin_window.h"

namespace windows {

// Defined together so that they are made in this order.
ahx::WaveTables sharedWaveTables;
ahx::Player mainPlayer;
audio::WaveOutDevice outputDevice;

HWND mainWindow = nullptr;
HDC mainDC = nullptr;
HGLRC glContext = nullptr;

namespace {

// Lives as long as the objects it binds: the window keeps it until it goes.
core::TrackControl trackControl{mainPlayer, sharedWaveTables, outputDevice};

// Every pending message, the quit message included; input therefore changes
// the shared state between frames, never during one. Once a quit is asked
// for, what is still queued is left unread: nothing of it could be seen.
void drainMessages() {
    MSG message;
    while (!core::quitRequested && PeekMessageA(&message, mainWindow, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) core::quitRequested = true;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

class WindowsShell final : public core::MusicdiskShell {
public:
    uint32_t timerMs() override { return timeGetTime(); }

    bool openWindow() override {
        mainWindow =
            createGLWindow(mainWindowProc, core::windowWidth, core::windowHeight, &mainDC, &glContext);
        if (mainWindow == nullptr) return false;
        bindTrackControl(mainWindow, trackControl);
        return true;
    }

    void initScene() override { render::initScene(); }

    bool shapeWindow() override {
        if (!skin_.loadRegion(kSkinRegionId)) return false;
        if (skin_.attach(mainWindow)) InvalidateRect(mainWindow, nullptr, TRUE);
        return true;
    }

    void showWindow() override { ShowWindow(mainWindow, SW_SHOW); }

    void drawFrame() override {
        render::renderFrame();
        SwapBuffers(mainDC);
    }

    void showSetupError(const char* text) override { windows::showSetupError(text); }

    void closeWindow() override { DestroyWindow(mainWindow); }

private:
    // The outline and the subclass, until the shell goes after the window.
    SkinWindow skin_;
};

}  // namespace

int runMusicdisk() {
    WindowsShell shell;
    core::Musicdisk musicdisk{shell, trackControl};
    if (!musicdisk.start()) return 1;
    while (!core::quitRequested) {
        musicdisk.frame();
        drainMessages();
        musicdisk.afterDrain();
    }
    musicdisk.quit();
    return 0;
}

}  // namespace windows
