#include "support/recorded_setup_errors.h"

#include "shells/windows/gl_window.h"

namespace windows {

namespace test {

std::vector<std::string>& recordedSetupErrors() {
    static std::vector<std::string> texts;
    return texts;
}

}  // namespace test

void showSetupError(const char* text) {
    test::recordedSetupErrors().emplace_back(text);
}

}  // namespace windows
