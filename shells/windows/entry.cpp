#include "shells/windows/entry.h"

#include <mmsystem.h>

#include "core/shared_state.h"
#include "core/track_control.h"
#include "core/track_list.h"
#include "render/draws/frame_renderer.h"
#include "shells/windows/main_window_proc.h"
#include "shells/windows/skin_window.h"

namespace core {

// Defined together so that they are made in this order.
ahx::WaveTables sharedWaveTables;
ahx::Player mainPlayer;
audio::WaveOutDevice outputDevice;

HWND mainWindow = nullptr;
HDC mainDC = nullptr;
HGLRC glContext = nullptr;

namespace {

constexpr int32_t kWindowSize = 256;

// Every pending message, the quit message included; input therefore changes
// the shared state between frames, never during one. Once a quit is asked
// for, what is still queued is left unread: nothing of it could be seen.
void drainMessages() {
    MSG message;
    while (!quitRequested && PeekMessageA(&message, mainWindow, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) quitRequested = true;
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}

}  // namespace

int runMusicdisk() {
    playback = Playback{&mainPlayer, &sharedWaveTables, &outputDevice, findSongResource};

    windowWidth = kWindowSize;
    windowHeight = kWindowSize;
    mainWindow = createGLWindow(mainWindowProc, kWindowSize, kWindowSize, &mainDC, &glContext);
    if (mainWindow == nullptr) return 1;
    render::initScene();

    SkinWindow skin;
    if (!skin.loadRegion(kSkinRegionId)) {
        showSetupError("Unable to retrieve the skin.");
        DestroyWindow(mainWindow);
        return 1;
    }
    if (skin.attach(mainWindow)) InvalidateRect(mainWindow, nullptr, TRUE);

    // The tune is already playing when the window appears.
    currentTrack = 0;
    startTrack(trackResourceIds[0]);
    ShowWindow(mainWindow, SW_SHOW);

    quitRequested = false;
    // The first frame lasts no time at all, rather than the whole uptime of
    // the timer.
    nowMs = timeGetTime();
    while (!quitRequested) {
        beginFrame(timeGetTime());
        render::renderFrame();
        SwapBuffers(mainDC);
        drainMessages();
        // However many changes the drain asked for, one restart plays the
        // last; none when the program is ending.
        if (!quitRequested) playSelectedTrack();
    }

    outputDevice.stop();
    outputDevice.stopThread();
    DestroyWindow(mainWindow);
    return 0;
}

}  // namespace core
