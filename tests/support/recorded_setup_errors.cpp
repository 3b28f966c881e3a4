#include "support/recorded_setup_errors.h"

#include "app/gl_window.h"

namespace app {

namespace test {

std::vector<std::string>& recordedSetupErrors() {
    static std::vector<std::string> texts;
    return texts;
}

}  // namespace test

void showSetupError(const char* text) {
    test::recordedSetupErrors().emplace_back(text);
}

}  // namespace app
