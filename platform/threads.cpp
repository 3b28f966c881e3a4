// Thread start, priority and sleeping.
#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <new>
#include <thread>

#include "platform/winmm.h"

namespace platform {

namespace {

struct ThreadStart {
    void (*start)(void*);
    void* arglist;
};

void* runThread(void* param) {
    ThreadStart call = *static_cast<ThreadStart*>(param);
    delete static_cast<ThreadStart*>(param);
    call.start(call.arglist);
    return nullptr;
}

// What GetCurrentThread answers on Windows: a pseudo handle meaning "the caller".
HANDLE const kCurrentThread = reinterpret_cast<HANDLE>(intptr_t(-2));

}  // namespace

void Sleep(DWORD dwMilliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

uintptr_t _beginthread(void (*start)(void*), unsigned stackSize, void* arglist) {
    auto* call = new (std::nothrow) ThreadStart{start, arglist};
    if (call == nullptr) return uintptr_t(-1);
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) pthread_attr_setstacksize(&attributes, stackSize);
    pthread_t thread;
    int result = pthread_create(&thread, &attributes, runThread, call);
    pthread_attr_destroy(&attributes);
    if (result != 0) {
        delete call;
        return uintptr_t(-1);
    }
    return uintptr_t(thread);
}

HANDLE GetCurrentThread() {
    return kCurrentThread;
}

BOOL SetThreadPriority(HANDLE hThread, int nPriority) {
    if (hThread != kCurrentThread) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    // Linux gives each thread its own nice value; a higher priority is a lower
    // one, which an unprivileged process may not take. As on Windows, the
    // priority is relative to the process's: a program started with nice 10
    // keeps its playback thread near 10, not at 0.
    errno = 0;
    const int processNice = getpriority(PRIO_PROCESS, id_t(getpid()));
    if (processNice == -1 && errno != 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    const int nice = std::clamp(processNice - nPriority, -20, 19);
    if (setpriority(PRIO_PROCESS, id_t(gettid()), nice) != 0) {
        SetLastError(errno == EPERM || errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_INVALID_PARAMETER);
        return 0;
    }
    return 1;
}

}  // namespace platform
