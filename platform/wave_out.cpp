// waveOut on Linux: each open device has a queue of written headers and a
// worker thread that hands their samples to a sink in order, then marks each
// header done. The caller polls dwFlags without a lock, so the layer changes
// it only through atomic operations.
//
// A handle is found and kept alive in one step (the registry hands out a
// shared reference), so a waveOutClose on another thread cannot free a
// device that a call is still using; the call then sees it closing.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/test_hooks.h"
#include "platform/wave_sink.h"
#include "platform/winmm.h"

namespace platform {

struct HWAVEOUT__ {
    std::mutex mutex;
    std::condition_variable wake;  // the worker waits here for blocks, restart and close
    std::condition_variable idle;  // callers wait here for the worker to leave the sink
    std::unique_ptr<WaveSink> sink;
    WAVEFORMATEX format{};
    std::deque<WAVEHDR*> queue;
    size_t offset = 0;  // bytes of the front block already handed to the sink
    bool paused = false;
    bool closing = false;
    bool failed = false;   // the sink failed for good: every block is refused
    bool writing = false;  // the worker is inside sink->write, without the lock
    uint64_t resets = 0;
    DWORD volume = 0xFFFFFFFF;
    std::vector<uint8_t> chunk;
    std::thread worker;
};

namespace {

// How long reset, pause and close wait for a sink to come back from a write:
// a sink that never does must not hang the caller. The blocks are returned at
// once either way; the sink only gets a copy.
constexpr auto kSinkWait = std::chrono::milliseconds(2000);

std::mutex registryMutex;
std::map<HWAVEOUT, std::shared_ptr<HWAVEOUT__>> openDevices;
std::atomic<int32_t> writesToFail{0};
std::atomic<bool> sinksHeld{false};
std::atomic<void (*)(HWAVEOUT)> handleCheckHook{nullptr};

DWORD loadFlags(WAVEHDR* header) {
    return std::atomic_ref<DWORD>(header->dwFlags).load();
}
void setFlags(WAVEHDR* header, DWORD bits) {
    std::atomic_ref<DWORD>(header->dwFlags).fetch_or(bits);
}
void clearFlags(WAVEHDR* header, DWORD bits) {
    std::atomic_ref<DWORD>(header->dwFlags).fetch_and(~bits);
}

void markDone(WAVEHDR* header) {
    clearFlags(header, WHDR_INQUEUE);
    setFlags(header, WHDR_DONE);
}

// The open device behind a handle, kept alive for as long as the answer is
// held; null for a handle that is not open.
std::shared_ptr<HWAVEOUT__> findDevice(HWAVEOUT handle) {
    std::shared_ptr<HWAVEOUT__> device;
    {
        std::lock_guard lock(registryMutex);
        auto it = openDevices.find(handle);
        if (it != openDevices.end()) device = it->second;
    }
    if (device) {
        if (void (*hook)(HWAVEOUT) = handleCheckHook.load()) hook(handle);
    }
    return device;
}

// Every queued block back to the caller, as a reset does.
void returnQueue(HWAVEOUT device) {
    for (WAVEHDR* header : device->queue) markDone(header);
    device->queue.clear();
    device->offset = 0;
}

bool validFormat(const WAVEFORMATEX& f) {
    if (f.wFormatTag != WAVE_FORMAT_PCM) return false;
    if (f.nChannels < 1 || f.nChannels > 2) return false;
    if (f.wBitsPerSample != 8 && f.wBitsPerSample != 16) return false;
    if (f.nSamplesPerSec < 1000 || f.nSamplesPerSec > 384000) return false;
    if (f.nBlockAlign != f.nChannels * f.wBitsPerSample / 8) return false;
    return f.nAvgBytesPerSec == f.nSamplesPerSec * f.nBlockAlign;
}

// The device volume scales what is played; full volume passes samples unchanged.
void applyVolume(uint8_t* data, size_t bytes, const WAVEFORMATEX& format, DWORD volume) {
    if (volume == 0xFFFFFFFF || (format.nChannels == 1 && (volume & 0xFFFF) == 0xFFFF)) return;
    const int32_t levels[2] = {int32_t(volume & 0xFFFF), int32_t(volume >> 16)};
    size_t sampleBytes = format.wBitsPerSample / 8;
    for (size_t i = 0, n = bytes / sampleBytes; i < n; ++i) {
        int32_t level = levels[format.nChannels == 2 ? i % 2 : 0];
        if (sampleBytes == 2) {
            auto s = int16_t(uint16_t(data[2 * i] | data[2 * i + 1] << 8));
            auto v = uint16_t(int16_t(s * level / 0xFFFF));
            data[2 * i] = uint8_t(v & 0xFF);
            data[2 * i + 1] = uint8_t(v >> 8);
        } else {
            data[i] = uint8_t((int32_t(data[i]) - 128) * level / 0xFFFF + 128);
        }
    }
}

// The worker holds its own reference: a close that stops waiting for a sink
// stuck in a write lets the worker go, and the device must outlive it.
void runWorker(std::shared_ptr<HWAVEOUT__> device) {
    std::unique_lock lock(device->mutex);
    for (;;) {
        device->wake.wait(lock, [&] {
            return device->closing || (!device->paused && !device->failed && !device->queue.empty());
        });
        if (device->closing) return;
        WAVEHDR* header = device->queue.front();
        size_t length = header->dwBufferLength;
        size_t count = std::min(device->sink->chunkBytes(), length - device->offset);
        // The sink gets a copy, so that once a reset has returned the caller's block is
        // no longer read.
        device->chunk.assign(header->lpData + device->offset, header->lpData + device->offset + count);
        applyVolume(device->chunk.data(), count, device->format, device->volume);
        uint64_t resets = device->resets;
        device->writing = true;
        lock.unlock();
        while (sinksHeld.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        const bool written = count == 0 || device->sink->write(device->chunk.data(), count);
        lock.lock();
        device->writing = false;
        device->idle.notify_all();
        if (!written) {
            // As a driver does when its device goes: everything queued comes
            // back, and every later block is refused.
            device->failed = true;
            returnQueue(device.get());
            continue;
        }
        // A reset while writing has already returned the block and emptied the queue.
        if (device->resets != resets) continue;
        device->offset += count;
        if (device->offset >= length) {
            device->queue.pop_front();
            device->offset = 0;
            markDone(header);
        }
    }
}

bool validHeader(WAVEHDR* header, UINT size) {
    return header != nullptr && size == sizeof(WAVEHDR);
}

}  // namespace

void failWaveOutWrites(int32_t count) {
    writesToFail.store(count < 0 ? 0 : count);
}

void holdWaveOutSinks(bool hold) {
    sinksHeld.store(hold);
}

void afterWaveOutHandleCheck(void (*hook)(HWAVEOUT)) {
    handleCheckHook.store(hook);
}

int32_t openWaveOutCount() {
    std::lock_guard lock(registryMutex);
    return int32_t(openDevices.size());
}

MMRESULT waveOutOpen(LPHWAVEOUT phwo, UINT uDeviceID, LPCWAVEFORMATEX pwfx, DWORD_PTR dwCallback, DWORD_PTR,
                     DWORD fdwOpen) {
    if (phwo == nullptr || pwfx == nullptr) return MMSYSERR_INVALPARAM;
    if (uDeviceID != WAVE_MAPPER && uDeviceID != 0) return MMSYSERR_BADDEVICEID;
    // Completion is found by polling the done flags; callbacks are not supported.
    if (fdwOpen != CALLBACK_NULL || dwCallback != 0) return MMSYSERR_INVALFLAG;
    if (!validFormat(*pwfx)) return WAVERR_BADFORMAT;

    std::unique_ptr<WaveSink> sink;
    const char* path = std::getenv("VELTRANE_WAVEOUT_FILE");
    if (path != nullptr && *path != '\0') {
        const char* pace = std::getenv("VELTRANE_WAVEOUT_PACE");
        bool realtime = pace == nullptr || std::string_view(pace) != "fast";
        sink = openFileSink(path, realtime, *pwfx);
        if (!sink) return MMSYSERR_ERROR;
    } else {
        sink = openAlsaSink(*pwfx);
        if (!sink) return MMSYSERR_NODRIVER;
    }

    auto device = std::make_shared<HWAVEOUT__>();
    device->sink = std::move(sink);
    device->format = *pwfx;
    device->worker = std::thread(runWorker, device);
    *phwo = device.get();
    std::lock_guard lock(registryMutex);
    openDevices.emplace(device.get(), std::move(device));
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    std::shared_ptr<HWAVEOUT__> device = findDevice(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (!validHeader(pwh, cbwh)) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(device->mutex);
    if (device->closing) return MMSYSERR_INVALHANDLE;
    if (pwh->lpData == nullptr && pwh->dwBufferLength != 0) return MMSYSERR_INVALPARAM;
    setFlags(pwh, WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    std::shared_ptr<HWAVEOUT__> device = findDevice(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (!validHeader(pwh, cbwh)) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(device->mutex);
    if (device->closing) return MMSYSERR_INVALHANDLE;
    if ((loadFlags(pwh) & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    clearFlags(pwh, WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    std::shared_ptr<HWAVEOUT__> device = findDevice(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (!validHeader(pwh, cbwh)) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(device->mutex);
    if (device->closing) return MMSYSERR_INVALHANDLE;
    DWORD flags = loadFlags(pwh);
    if ((flags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
    if ((flags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    // What Windows answers once the device behind a handle is gone.
    if (device->failed) return MMSYSERR_NODRIVER;
    int32_t failing = writesToFail.load();
    while (failing > 0) {
        if (writesToFail.compare_exchange_weak(failing, failing - 1)) return MMSYSERR_NOMEM;
    }
    clearFlags(pwh, WHDR_DONE);
    setFlags(pwh, WHDR_INQUEUE);
    device->queue.push_back(pwh);
    device->wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT hwo) {
    std::shared_ptr<HWAVEOUT__> device = findDevice(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    std::unique_lock lock(device->mutex);
    if (device->closing) return MMSYSERR_INVALHANDLE;
    returnQueue(device.get());
    ++device->resets;
    // A sink stuck in a write keeps what it holds; the blocks are back all the same.
    if (device->idle.wait_for(lock, kSinkWait, [&] { return !device->writing; })) device->sink->discard();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPause(HWAVEOUT hwo) {
    std::shared_ptr<HWAVEOUT__> device = findDevice(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    std::unique_lock lock(device->mutex);
    if (device->closing) return MMSYSERR_INVALHANDLE;
    if (device->paused) return MMSYSERR_NOERROR;
    device->paused = true;
    // The piece being written finishes; nothing follows it until the restart.
    if (device->idle.wait_for(lock, kSinkWait, [&] { return !device->writing; })) device->sink->pause();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutRestart(HWAVEOUT hwo) {
    std::shared_ptr<HWAVEOUT__> device = findDevice(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    std::lock_guard lock(device->mutex);
    if (device->closing) return MMSYSERR_INVALHANDLE;
    if (!device->paused) return MMSYSERR_NOERROR;
    device->paused = false;
    // Only a sink that was paused is resumed; one still writing was never told to pause.
    if (!device->writing) device->sink->resume();
    device->wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutSetVolume(HWAVEOUT hwo, DWORD dwVolume) {
    std::shared_ptr<HWAVEOUT__> device = findDevice(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    std::lock_guard lock(device->mutex);
    if (device->closing) return MMSYSERR_INVALHANDLE;
    device->volume = dwVolume;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetVolume(HWAVEOUT hwo, LPDWORD pdwVolume) {
    std::shared_ptr<HWAVEOUT__> device = findDevice(hwo);
    if (!device) return MMSYSERR_INVALHANDLE;
    if (pdwVolume == nullptr) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(device->mutex);
    if (device->closing) return MMSYSERR_INVALHANDLE;
    *pdwVolume = device->volume;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT hwo) {
    std::shared_ptr<HWAVEOUT__> device;
    {
        std::lock_guard registryLock(registryMutex);
        auto it = openDevices.find(hwo);
        if (it == openDevices.end()) return MMSYSERR_INVALHANDLE;
        std::lock_guard lock(it->second->mutex);
        if (!it->second->queue.empty()) return WAVERR_STILLPLAYING;
        device = std::move(it->second);
        openDevices.erase(it);
        device->closing = true;
        device->wake.notify_all();
    }
    // Out of the sink, the worker sees the close at once and ends. One stuck
    // in a write is let go rather than waited for: it ends when the write
    // comes back, and the device's last holder frees it, whichever that is.
    bool left = false;
    {
        std::unique_lock lock(device->mutex);
        left = device->idle.wait_for(lock, kSinkWait, [&] { return !device->writing; });
    }
    if (left) {
        device->worker.join();
    } else {
        device->worker.detach();
    }
    return MMSYSERR_NOERROR;
}

}  // namespace platform
