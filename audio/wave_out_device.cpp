#include "audio/wave_out_device.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "audio/sample_conversion.h"
#include "audio/thread_name.h"

namespace audio {

namespace {

constexpr UINT kHeaderSize = sizeof(WAVEHDR);
constexpr UINT kBlockMemoryFlags = GMEM_MOVEABLE | GMEM_SHARE;
// How long release waits for the device to give back blocks after its reset: a
// driver that never does must not hang the caller.
constexpr DWORD kReleaseWaitMilliseconds = 2000;
// Short: a reset gives the blocks back within a few milliseconds, and every
// track change waits here.
constexpr DWORD kReleasePollMilliseconds = 2;

std::atomic<int32_t> playbackThreads{0};

// The device sets the done flag from its own thread while we poll it.
DWORD headerFlags(WAVEHDR* header) {
    return std::atomic_ref<DWORD>(header->dwFlags).load();
}

void markFree(WAVEHDR* header) {
    std::atomic_ref<DWORD>(header->dwFlags).fetch_or(WHDR_DONE);
}

// GlobalUnlock answers 0 both for an error and for the last unlock; only the
// error code tells them apart.
bool unlockAndFree(HGLOBAL handle) {
    SetLastError(0);
    if (GlobalUnlock(handle) == 0 && GetLastError() != 0) return false;
    return GlobalFree(handle) == nullptr;
}

}  // namespace

WaveOutDevice::WaveOutDevice() : source(this), wake_(CreateEventA(nullptr, FALSE, FALSE, nullptr)) {}

WaveOutDevice::~WaveOutDevice() {
    // A thread left running would poll a released device.
    stopThread();
    release();
    // Only the device holds the blocks a failed release keeps; these frames are ours.
    delete[] pcm_;
    if (wake_ != nullptr) CloseHandle(wake_);
}

void WaveOutDevice::waitForNextPoll() {
    const auto poll = DWORD(pollMilliseconds());
    // Without its event the thread still keeps its cadence; a stop then
    // waits out the rest of one poll.
    if (wake_ == nullptr || WaitForSingleObject(wake_, poll) == WAIT_FAILED) Sleep(poll);
}

int32_t WaveOutDevice::livePlaybackThreads() {
    return playbackThreads.load();
}

int32_t WaveOutDevice::pollMilliseconds() const {
    return std::max(1, framesPerBlock * 20);
}

int WaveOutDevice::open(int32_t rate, int32_t bits, int32_t blockFrames, int32_t blocksWanted,
                        float outputGain) {
    return open(rate, bits, blockFrames, blocksWanted, outputGain, 1);
}

int WaveOutDevice::open(int32_t rate, int32_t bits, int32_t blockFrames, int32_t blocksWanted,
                        float outputGain, int32_t channelCount) {
    // A device opened afresh plays unpaused, whatever the flag kept from the
    // song before: it must say what is heard, or a track changed while
    // paused would take two play/pause presses to pause.
    paused.store(0);
    if (blocksWanted < 1 || blocksWanted > MAX_BLOCKS || blockFrames < 1) return 0;
    if (channelCount < 1 || channelCount > 2) return 0;
    // A second open would lose the first device and its blocks.
    if (waveOut != nullptr) return 0;
    blockCount = blocksWanted;
    playing.store(0);
    // Whatever happened to the last device, this one is tried afresh.
    lost.store(0);
    refusedInARow_ = 0;
    lastRefusal_.store(MMSYSERR_NOERROR);
    framesPerBlock = blockFrames;
    channels = channelCount;
    source = this;
    if (setup(rate, bits, blockFrames, outputGain) == 0) {
        unwindOpen(0);
        return 0;
    }
    blockBytes = ((rate * bits / 8) * blockFrames) / 50 * channelCount;
    const int32_t bytesPerFrame = bits / 8 * channelCount;
    blockFrames_ = bytesPerFrame > 0 ? blockBytes / bytesPerFrame : blockSamples();
    pcm_ = new (std::nothrow) int16_t[size_t(blockFrames_) * size_t(channelCount)]();
    if (pcm_ == nullptr) {
        unwindOpen(0);
        return 0;
    }

    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = WORD(channelCount);
    format.nSamplesPerSec = DWORD(rate);
    format.nAvgBytesPerSec = DWORD(rate * bits / 8 * channelCount);
    format.nBlockAlign = WORD(bits / 8 * channelCount);
    format.wBitsPerSample = WORD(bits);
    format.cbSize = 0;
    if (waveOutOpen(&waveOut, WAVE_MAPPER, &format, 0, 0, 0) != MMSYSERR_NOERROR) {
        waveOut = nullptr;
        unwindOpen(0);
        return 0;
    }

    for (int32_t i = 0; i < blockCount; ++i) {
        AudioBlock& block = blocks[i];
        block.dataHandle = GlobalAlloc(kBlockMemoryFlags, SIZE_T(blockBytes));
        if (block.dataHandle != nullptr) block.data = static_cast<uint8_t*>(GlobalLock(block.dataHandle));
        if (block.data != nullptr) block.headerHandle = GlobalAlloc(kBlockMemoryFlags, kHeaderSize);
        if (block.headerHandle != nullptr)
            block.header = static_cast<WAVEHDR*>(GlobalLock(block.headerHandle));
        if (block.header == nullptr) {
            unwindOpen(i + 1);
            return 0;
        }
        std::memset(block.header, 0, kHeaderSize);
        block.header->lpData = reinterpret_cast<char*>(block.data);
        block.header->dwBufferLength = DWORD(blockBytes);
        // Every fresh block is free, so the first poll after play fills them all.
        block.header->dwFlags = WHDR_DONE;
        block.header->dwLoops = 0;
        block.prepared = 0;
    }
    return 1;
}

void WaveOutDevice::unwindOpen(int32_t taken) {
    for (int32_t i = 0; i < taken; ++i) {
        AudioBlock& block = blocks[i];
        if (block.header != nullptr) GlobalUnlock(block.headerHandle);
        if (block.headerHandle != nullptr) GlobalFree(block.headerHandle);
        if (block.data != nullptr) GlobalUnlock(block.dataHandle);
        if (block.dataHandle != nullptr) GlobalFree(block.dataHandle);
        block = AudioBlock{};
    }
    // Nothing was written yet, so the device closes at once.
    if (waveOut != nullptr) waveOutClose(waveOut);
    waveOut = nullptr;
    delete[] pcm_;
    pcm_ = nullptr;
    Mixer::release();
    blockCount = 0;
}

void WaveOutDevice::playbackThread(void* param) {
    auto* device = static_cast<WaveOutDevice*>(param);
    playbackThreads.fetch_add(1);
    nameCurrentThread(kPlaybackThreadName);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL);
    while (device->stopRequest.load() == 0) {
        // Raised before playing is read: stop clears playing and then waits
        // for this to fall, so either this pass sees playing cleared or stop
        // sees the pass and waits for its end.
        device->refilling.store(1);
        if (device->playing.load() != 0) device->refill();
        device->refilling.store(0);
        device->waitForNextPoll();
    }
    playbackThreads.fetch_sub(1);
    // The answer stopThread waits for; the device is not touched after it.
    device->stopRequest.store(0);
}

int WaveOutDevice::startThread() {
    // A second thread could not be stopped: stopThread waits for one answer.
    if (threadRunning_ != 0) return 0;
    stopRequest.store(0);
    if (_beginthread(playbackThread, 0, this) == uintptr_t(-1)) return 0;
    threadRunning_ = 1;
    return 1;
}

int WaveOutDevice::stopThread() {
    // With no thread there is nobody to clear the request.
    if (threadRunning_ == 0) return 1;
    stopRequest.store(1);
    // The thread wakes at once instead of finishing its poll, so a track
    // change waits for no more than the pass in progress.
    if (wake_ != nullptr) SetEvent(wake_);
    while (stopRequest.load() != 0) Sleep(1);
    threadRunning_ = 0;
    return 1;
}

void WaveOutDevice::refill() {
    for (int32_t i = 0; i < blockCount; ++i) {
        if (playing.load() == 0) return;
        AudioBlock& block = blocks[i];
        if ((headerFlags(block.header) & WHDR_DONE) == 0) continue;
        if (block.prepared != 0) {
            waveOutUnprepareHeader(waveOut, block.header, kHeaderSize);
            block.prepared = 0;
        }
        fillBlock(i);
    }
}

void WaveOutDevice::fillBlock(int32_t i) {
    AudioBlock& block = blocks[i];
    const int32_t written = std::clamp(source->pull(pcm_, blockFrames_), 0, blockFrames_);
    packPcm(pcm_, written * channels, bitsPerSample, block.data);
    // A block cut short where the sound ends is queued that much shorter,
    // with no silence after it.
    const int32_t bytes = written == blockFrames_ ? blockBytes : written * (bitsPerSample / 8) * channels;
    block.header->lpData = reinterpret_cast<char*>(block.data);
    block.header->dwBufferLength = DWORD(bytes);
    block.header->dwFlags = 0;
    block.header->dwLoops = 0;
    MMRESULT result = waveOutPrepareHeader(waveOut, block.header, kHeaderSize);
    if (result == MMSYSERR_NOERROR) {
        block.prepared = 1;
        result = waveOutWrite(waveOut, block.header, kHeaderSize);
    }
    if (result == MMSYSERR_NOERROR) {
        refusedInARow_ = 0;
        return;
    }
    // A block the device did not take would never come back done; it is free again.
    markFree(block.header);
    lastRefusal_.store(result);
    // One refusal may pass; a device that refuses block after block is gone,
    // and rendering on would only run the song ahead unheard.
    if (++refusedInARow_ >= kRefusalsBeforeLost) {
        lost.store(1);
        playing.store(0);
    }
}

int WaveOutDevice::play(ahx::Player* newPlayer) {
    // After stop no refill is running and none starts before playing is set
    // again, so the player changes hands without a race.
    if (stop() == 0) return 0;
    if (newPlayer == nullptr || lost.load() != 0 || channels != 1) return 0;
    start(newPlayer);
    playing.store(1);
    return 1;
}

int WaveOutDevice::stream(PcmSource* newSource) {
    // The same hand-over as play: nothing is pulled between stop and playing.
    if (stop() == 0) return 0;
    if (newSource == nullptr || lost.load() != 0) return 0;
    source = newSource;
    playing.store(1);
    return 1;
}

int WaveOutDevice::stop() {
    playing.store(0);
    // A refill that saw playing set finishes its block and ends; only then is
    // the device reset, so no block of this song is queued after stop.
    while (refilling.load() != 0) Sleep(1);
    // What was streamed goes back to its owner; the mixer is the default.
    source = this;
    if (waveOut == nullptr) return 0;
    return waveOutReset(waveOut) == MMSYSERR_NOERROR ? 1 : 0;
}

int WaveOutDevice::pause() {
    paused.store(1);
    if (waveOut == nullptr) return 0;
    return waveOutPause(waveOut) == MMSYSERR_NOERROR ? 1 : 0;
}

int WaveOutDevice::resume() {
    paused.store(0);
    if (waveOut == nullptr) return 0;
    return waveOutRestart(waveOut) == MMSYSERR_NOERROR ? 1 : 0;
}

DWORD WaveOutDevice::volumeWord(int32_t level) {
    auto a = DWORD(std::clamp(level, 0, 64) * 63 / 64);
    return (a + a * 65536) * 1024;
}

int WaveOutDevice::setVolume(int32_t level) {
    if (waveOut == nullptr) return 0;
    return waveOutSetVolume(waveOut, volumeWord(level)) == MMSYSERR_NOERROR ? 1 : 0;
}

int WaveOutDevice::spareOperation(int32_t, int32_t) {
    return 0;
}

int WaveOutDevice::release() {
    playing.store(0);
    if (waveOut == nullptr) return 0;
    // A device that is gone may refuse the reset too; the wait for the blocks
    // below still keeps anything it holds from being freed.
    if (waveOutReset(waveOut) != MMSYSERR_NOERROR && lost.load() == 0) return 0;
    // A pass of the playback thread may have queued blocks after an earlier stop;
    // the reset returns them all.
    for (DWORD waited = 0;; waited += kReleasePollMilliseconds) {
        bool allDone = true;
        for (int32_t i = 0; i < blockCount; ++i) {
            if ((headerFlags(blocks[i].header) & WHDR_DONE) == 0) allDone = false;
        }
        if (allDone) break;
        // Freeing a block the device still holds is worse than keeping it.
        if (waited >= kReleaseWaitMilliseconds) return 0;
        Sleep(kReleasePollMilliseconds);
    }
    for (int32_t i = 0; i < blockCount; ++i) {
        AudioBlock& block = blocks[i];
        if (block.prepared == 0) continue;
        if (waveOutUnprepareHeader(waveOut, block.header, kHeaderSize) != MMSYSERR_NOERROR) return 0;
        block.prepared = 0;
    }
    if (waveOutClose(waveOut) != MMSYSERR_NOERROR) return 0;
    waveOut = nullptr;
    int32_t count = blockCount;
    blockCount = 0;
    for (int32_t i = 0; i < count; ++i) {
        AudioBlock& block = blocks[i];
        if (!unlockAndFree(block.dataHandle)) return 0;
        block.dataHandle = nullptr;
        block.data = nullptr;
        if (!unlockAndFree(block.headerHandle)) return 0;
        block = AudioBlock{};
    }
    delete[] pcm_;
    pcm_ = nullptr;
    Mixer::release();
    return 1;
}

}  // namespace audio
