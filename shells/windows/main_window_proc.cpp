#include "shells/windows/main_window_proc.h"

#include "core/input.h"

namespace core {

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
bool appCommand(int command, MediaCommand* media, uint32_t* key) {
    switch (command) {
        case APPCOMMAND_MEDIA_NEXTTRACK:
            *media = MediaCommand::next;
            *key = kKeyMediaNext;
            return true;
        case APPCOMMAND_MEDIA_PREVIOUSTRACK:
            *media = MediaCommand::previous;
            *key = kKeyMediaPrevious;
            return true;
        case APPCOMMAND_MEDIA_STOP:
            *media = MediaCommand::stop;
            *key = kKeyMediaStop;
            return true;
        case APPCOMMAND_MEDIA_PLAY_PAUSE:
            *media = MediaCommand::playPause;
            *key = kKeyMediaPlayPause;
            return true;
        case APPCOMMAND_MEDIA_PLAY:
            *media = MediaCommand::play;
            *key = 0;
            return true;
        case APPCOMMAND_MEDIA_PAUSE:
            *media = MediaCommand::pause;
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

}  // namespace

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_MOUSEMOVE:
            mouseMoved(clientX(lParam), clientY(lParam));
            break;
        case WM_LBUTTONDOWN:
            if (leftButtonDown(clientX(lParam), clientY(lParam))) PostQuitMessage(0);
            break;
        case WM_KEYDOWN: {
            if (keyDown(uint32_t(wParam), autoRepeat(lParam))) PostQuitMessage(0);
            // Passed on, a media key would come back as WM_APPCOMMAND.
            MediaCommand media;
            if (mediaCommandOfKey(uint32_t(wParam), &media)) return 0;
            break;
        }
        case WM_APPCOMMAND: {
            MediaCommand media;
            uint32_t key = 0;
            // Other commands go on to the system, which may have a use for them.
            if (!appCommand(GET_APPCOMMAND_LPARAM(lParam), &media, &key)) break;
            if (!sameKeyPress(lParam, key)) mediaCommand(media);
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

}  // namespace core
