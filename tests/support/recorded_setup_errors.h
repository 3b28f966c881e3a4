#pragma once

// Test builds of the Windows shell link this in place of the message box: a
// set-up failure is recorded instead of waiting for a user to dismiss it.

#include <string>
#include <vector>

namespace windows::test {

// Every text shown so far, oldest first.
std::vector<std::string>& recordedSetupErrors();

}  // namespace windows::test
