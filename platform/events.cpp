// Auto-reset events, the one kind of waitable object the sound output uses:
// an eventfd whose counter is the signal, so setting it from one thread and
// waiting on it in another takes no lock of ours.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <new>

#include "platform/winmm.h"

namespace platform {

namespace {

struct Event {
    int fd;
};

Event* eventOf(HANDLE handle) {
    return static_cast<Event*>(handle);
}

}  // namespace

HANDLE CreateEventA(void* attributes, BOOL manualReset, BOOL initialState, const char* name) {
    // Only the unnamed auto-reset event is provided.
    if (attributes != nullptr || manualReset != 0 || name != nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const int fd = eventfd(initialState != 0 ? 1 : 0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (fd < 0) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* event = new (std::nothrow) Event{fd};
    if (event == nullptr) {
        close(fd);
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return event;
}

BOOL SetEvent(HANDLE hEvent) {
    if (hEvent == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    const uint64_t one = 1;
    // A counter already at its limit is still signalled; nothing is lost.
    if (write(eventOf(hEvent)->fd, &one, sizeof one) != sizeof one && errno != EAGAIN) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return 1;
}

DWORD WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    if (hHandle == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return WAIT_FAILED;
    }
    const int fd = eventOf(hHandle)->fd;
    const int timeout = dwMilliseconds == INFINITE ? -1 : int(std::min<DWORD>(dwMilliseconds, 0x7FFFFFFF));
    for (;;) {
        pollfd watched{fd, POLLIN, 0};
        const int ready = poll(&watched, 1, timeout);
        if (ready < 0 && errno == EINTR) continue;
        if (ready < 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
        if (ready == 0) return WAIT_TIMEOUT;
        // Reading takes the signal: the event resets as the wait ends.
        uint64_t count = 0;
        if (read(fd, &count, sizeof count) == sizeof count) return WAIT_OBJECT_0;
        // Another waiter took it first; wait on (the time limit starts again,
        // which only one waiter per event, as here, never meets).
        if (errno != EAGAIN) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
}

BOOL CloseHandle(HANDLE hObject) {
    if (hObject == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    close(eventOf(hObject)->fd);
    delete eventOf(hObject);
    return 1;
}

}  // namespace platform
