// Moveable global memory: a handle that owns a block and counts its locks.
// Nothing on Linux moves memory, so a lock simply answers the block. Live
// handles are kept in a table, so a freed or made-up handle is recognised
// without reading through it.
#include <atomic>
#include <cstdlib>
#include <mutex>
#include <unordered_set>

#include "platform/test_hooks.h"
#include "platform/winmm.h"

namespace platform {

namespace {

struct GlobalBlock {
    uint32_t flags;
    std::atomic<int32_t> lockCount;
    void* data;
};

// GlobalLock's count saturates at 255 on Windows.
constexpr int32_t kMaxLocks = 255;

std::mutex tableMutex;
std::unordered_set<HGLOBAL> liveHandles;
std::atomic<int32_t> liveBlocks{0};
std::atomic<int32_t> allocsBeforeFailure{-1};

// Null for a handle that GlobalAlloc did not give or that was freed. A block
// must not be freed while another thread still locks it, as on Windows.
GlobalBlock* blockOf(HGLOBAL handle) {
    std::lock_guard lock(tableMutex);
    return liveHandles.count(handle) != 0 ? static_cast<GlobalBlock*>(handle) : nullptr;
}

bool injectedFailure() {
    int32_t left = allocsBeforeFailure.load();
    while (left >= 0) {
        if (allocsBeforeFailure.compare_exchange_weak(left, left - 1)) return left == 0;
    }
    return false;
}

}  // namespace

void failGlobalAllocAfter(int32_t count) {
    allocsBeforeFailure.store(count < 0 ? -1 : count);
}

int32_t liveGlobalAllocations() {
    return liveBlocks.load();
}

HGLOBAL GlobalAlloc(UINT uFlags, SIZE_T dwBytes) {
    if (injectedFailure()) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    // Zero bytes still gives a usable handle; one byte keeps the pointer distinct.
    void* data = (uFlags & GMEM_ZEROINIT) != 0 ? std::calloc(1, dwBytes == 0 ? 1 : dwBytes)
                                               : std::malloc(dwBytes == 0 ? 1 : dwBytes);
    if (data == nullptr) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    auto* block = new GlobalBlock{uFlags, {0}, data};
    {
        std::lock_guard lock(tableMutex);
        liveHandles.insert(block);
    }
    liveBlocks.fetch_add(1);
    return block;
}

LPVOID GlobalLock(HGLOBAL hMem) {
    GlobalBlock* block = blockOf(hMem);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    int32_t count = block->lockCount.load();
    while (count < kMaxLocks && !block->lockCount.compare_exchange_weak(count, count + 1)) {
    }
    return block->data;
}

BOOL GlobalUnlock(HGLOBAL hMem) {
    GlobalBlock* block = blockOf(hMem);
    if (block == nullptr) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    int32_t count = block->lockCount.load();
    do {
        if (count == 0) {
            SetLastError(ERROR_NOT_LOCKED);
            return 0;
        }
    } while (!block->lockCount.compare_exchange_weak(count, count - 1));
    if (count - 1 == 0) {
        // Zero here is the normal answer for the last unlock, told apart by the error code.
        SetLastError(NO_ERROR);
        return 0;
    }
    return 1;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
    {
        std::lock_guard lock(tableMutex);
        if (liveHandles.erase(hMem) == 0) {
            SetLastError(ERROR_INVALID_HANDLE);
            return hMem;
        }
    }
    auto* block = static_cast<GlobalBlock*>(hMem);
    std::free(block->data);
    delete block;
    liveBlocks.fetch_sub(1);
    return nullptr;
}

}  // namespace platform
