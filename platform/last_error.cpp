#include "platform/winmm.h"

namespace platform {

namespace {
thread_local DWORD lastError = NO_ERROR;
}

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}

}  // namespace platform
