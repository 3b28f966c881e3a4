#include "shells/windows/main_window_proc.h"

#include "core/input.h"

namespace windows {

namespace {

int32_t clientX(LPARAM lParam) {
    return int32_t(LOWORD(lParam));
}
int32_t clientY(LPARAM lParam) {
    return int32_t(HIWORD(lParam));
}

bool autoRepeat(LPARAM lParam) {
    return (lParam & (LPARAM(1) << 30)) != 0;
}

// The media commands of WM_APPCOMMAND, and the key each has on a keyboard
// (0 for the system's separate play and pause, which have none).
bool appCommand(int command, core::MediaCommand* media, uint32_t* key) {
    switch (command) {
        case APPCOMMAND_MEDIA_NEXTTRACK:
            *media = core::MediaCommand::next;
            *key = core::kKeyMediaNext;
            return true;
        case APPCOMMAND_MEDIA_PREVIOUSTRACK:
            *media = core::MediaCommand::previous;
            *key = core::kKeyMediaPrevious;
            return true;
        case APPCOMMAND_MEDIA_STOP:
            *media = core::MediaCommand::stop;
            *key = core::kKeyMediaStop;
            return true;
        case APPCOMMAND_MEDIA_PLAY_PAUSE:
            *media = core::MediaCommand::playPause;
            *key = core::kKeyMediaPlayPause;
            return true;
        case APPCOMMAND_MEDIA_PLAY:
            *media = core::MediaCommand::play;
            *key = 0;
            return true;
        case APPCOMMAND_MEDIA_PAUSE:
            *media = core::MediaCommand::pause;
            *key = 0;
            return true;
        default:
            return false;
    }
}

// A media key can reach the window twice: as WM_KEYDOWN, and as a
// keyboard's WM_APPCOMMAND made of that key down, after it by the default
// procedure on Windows, before it by Wine as it takes the key from the
// queue. The key down acts; the command is the same press when that key is
// down already (the key state counts only key messages taken from the
// queue) or when a key down of it still waits in the queue.
bool sameKeyPress(LPARAM lParam, uint32_t key) {
    if (key == 0 || GET_DEVICE_LPARAM(lParam) != FAPPCOMMAND_KEY) return false;
    if ((GetKeyState(int(key)) & 0x8000) != 0) return true;
    MSG waiting;
    return PeekMessageA(&waiting, nullptr, WM_KEYDOWN, WM_KEYDOWN, PM_NOREMOVE | PM_NOYIELD) != 0 &&
           waiting.wParam == key;
}

core::TrackControl* boundTrackControl(HWND window) {
    return reinterpret_cast<core::TrackControl*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

}  // namespace

void bindTrackControl(HWND window, core::TrackControl& tracks) {
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&tracks));
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    core::TrackControl* tracks = boundTrackControl(window);
    switch (message) {
        case WM_MOUSEMOVE:
            core::mouseMoved(clientX(lParam), clientY(lParam));
            break;
        case WM_LBUTTONDOWN:
            if (tracks == nullptr) break;
            if (core::leftButtonDown(*tracks, clientX(lParam), clientY(lParam))) PostQuitMessage(0);
            break;
        case WM_KEYDOWN: {
            if (tracks == nullptr) break;
            if (core::keyDown(*tracks, uint32_t(wParam), autoRepeat(lParam))) PostQuitMessage(0);
            // Passed on, a media key would come back as WM_APPCOMMAND.
            core::MediaCommand media;
            if (core::mediaCommandOfKey(uint32_t(wParam), &media)) return 0;
            break;
        }
        case WM_APPCOMMAND: {
            core::MediaCommand media;
            uint32_t key = 0;
            // Other commands go on to the system, which may have a use for them.
            if (tracks == nullptr || !appCommand(GET_APPCOMMAND_LPARAM(lParam), &media, &key)) break;
            if (!sameKeyPress(lParam, key)) core::mediaCommand(*tracks, media);
            return TRUE;
        }
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

}  // namespace windows
