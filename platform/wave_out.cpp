// waveOut on Linux: each open device has a queue of written headers and a
// worker thread that hands their samples to a sink in order, then marks each
// header done. The caller polls dwFlags without a lock, so the layer changes
// it only through atomic operations.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <set>
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
    bool writing = false;  // the worker is inside sink->write, without the lock
    uint64_t resets = 0;
    DWORD volume = 0xFFFFFFFF;
    std::vector<uint8_t> chunk;
    std::thread worker;
};

namespace {

std::mutex registryMutex;
std::set<HWAVEOUT> openDevices;
std::atomic<int32_t> writesToFail{0};

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

bool isOpen(HWAVEOUT device) {
    std::lock_guard lock(registryMutex);
    return openDevices.count(device) != 0;
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

void runWorker(HWAVEOUT device) {
    std::unique_lock lock(device->mutex);
    for (;;) {
        device->wake.wait(lock,
                          [&] { return device->closing || (!device->paused && !device->queue.empty()); });
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
        if (count > 0) device->sink->write(device->chunk.data(), count);
        lock.lock();
        device->writing = false;
        device->idle.notify_all();
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

MMRESULT checkHeader(HWAVEOUT device, WAVEHDR* header, UINT size) {
    if (!isOpen(device)) return MMSYSERR_INVALHANDLE;
    if (header == nullptr || size != sizeof(WAVEHDR)) return MMSYSERR_INVALPARAM;
    return MMSYSERR_NOERROR;
}

}  // namespace

void failWaveOutWrites(int32_t count) {
    writesToFail.store(count < 0 ? 0 : count);
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

    auto* device = new HWAVEOUT__;
    device->sink = std::move(sink);
    device->format = *pwfx;
    device->worker = std::thread(runWorker, device);
    {
        std::lock_guard lock(registryMutex);
        openDevices.insert(device);
    }
    *phwo = device;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPrepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    if (MMRESULT result = checkHeader(hwo, pwh, cbwh); result != MMSYSERR_NOERROR) return result;
    std::lock_guard lock(hwo->mutex);
    if (pwh->lpData == nullptr && pwh->dwBufferLength != 0) return MMSYSERR_INVALPARAM;
    setFlags(pwh, WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutUnprepareHeader(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    if (MMRESULT result = checkHeader(hwo, pwh, cbwh); result != MMSYSERR_NOERROR) return result;
    std::lock_guard lock(hwo->mutex);
    if ((loadFlags(pwh) & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    clearFlags(pwh, WHDR_PREPARED);
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutWrite(HWAVEOUT hwo, LPWAVEHDR pwh, UINT cbwh) {
    if (MMRESULT result = checkHeader(hwo, pwh, cbwh); result != MMSYSERR_NOERROR) return result;
    std::lock_guard lock(hwo->mutex);
    DWORD flags = loadFlags(pwh);
    if ((flags & WHDR_PREPARED) == 0) return WAVERR_UNPREPARED;
    if ((flags & WHDR_INQUEUE) != 0) return WAVERR_STILLPLAYING;
    int32_t failing = writesToFail.load();
    while (failing > 0) {
        if (writesToFail.compare_exchange_weak(failing, failing - 1)) return MMSYSERR_NOMEM;
    }
    clearFlags(pwh, WHDR_DONE);
    setFlags(pwh, WHDR_INQUEUE);
    hwo->queue.push_back(pwh);
    hwo->wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutReset(HWAVEOUT hwo) {
    if (!isOpen(hwo)) return MMSYSERR_INVALHANDLE;
    std::unique_lock lock(hwo->mutex);
    for (WAVEHDR* header : hwo->queue) markDone(header);
    hwo->queue.clear();
    hwo->offset = 0;
    ++hwo->resets;
    hwo->idle.wait(lock, [&] { return !hwo->writing; });
    hwo->sink->discard();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutPause(HWAVEOUT hwo) {
    if (!isOpen(hwo)) return MMSYSERR_INVALHANDLE;
    std::unique_lock lock(hwo->mutex);
    if (hwo->paused) return MMSYSERR_NOERROR;
    hwo->paused = true;
    // The piece being written finishes; nothing follows it until the restart.
    hwo->idle.wait(lock, [&] { return !hwo->writing; });
    hwo->sink->pause();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutRestart(HWAVEOUT hwo) {
    if (!isOpen(hwo)) return MMSYSERR_INVALHANDLE;
    std::lock_guard lock(hwo->mutex);
    if (!hwo->paused) return MMSYSERR_NOERROR;
    hwo->paused = false;
    hwo->sink->resume();
    hwo->wake.notify_all();
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutSetVolume(HWAVEOUT hwo, DWORD dwVolume) {
    if (!isOpen(hwo)) return MMSYSERR_INVALHANDLE;
    std::lock_guard lock(hwo->mutex);
    hwo->volume = dwVolume;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutGetVolume(HWAVEOUT hwo, LPDWORD pdwVolume) {
    if (!isOpen(hwo)) return MMSYSERR_INVALHANDLE;
    if (pdwVolume == nullptr) return MMSYSERR_INVALPARAM;
    std::lock_guard lock(hwo->mutex);
    *pdwVolume = hwo->volume;
    return MMSYSERR_NOERROR;
}

MMRESULT waveOutClose(HWAVEOUT hwo) {
    {
        std::lock_guard registryLock(registryMutex);
        if (openDevices.count(hwo) == 0) return MMSYSERR_INVALHANDLE;
        std::lock_guard lock(hwo->mutex);
        if (!hwo->queue.empty()) return WAVERR_STILLPLAYING;
        openDevices.erase(hwo);
        hwo->closing = true;
        hwo->wake.notify_all();
    }
    hwo->worker.join();
    delete hwo;
    return MMSYSERR_NOERROR;
}

}  // namespace platform
