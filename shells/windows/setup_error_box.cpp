#include "shells/windows/gl_window.h"

namespace windows {

void showSetupError(const char* text) {
    MessageBoxA(nullptr, text, "ERROR", MB_ICONEXCLAMATION);
}

}  // namespace windows
