#include "app/gl_window.h"

namespace app {

void showSetupError(const char* text) {
    MessageBoxA(nullptr, text, "ERROR", MB_ICONEXCLAMATION);
}

}  // namespace app
