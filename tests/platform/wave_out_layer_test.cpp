// The Linux stand-ins for waveOut and global memory, through the file sink:
// blocks play in order and come back done, reset returns everything at
// once, pause holds and restart goes on, and misuse is answered with the
// codes Windows gives.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <iterator>
#include <string>
#include <vector>

#include "platform/test_hooks.h"
#include "platform/winmm.h"

namespace platform {
namespace {

using Clock = std::chrono::steady_clock;

DWORD flags(WAVEHDR& header) {
    return std::atomic_ref<DWORD>(header.dwFlags).load();
}

// Whether this process has `path` open.
bool fileOpenHere(const std::string& path) {
    const std::filesystem::path file = std::filesystem::weakly_canonical(path);
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (std::filesystem::read_symlink(entry.path(), error) == file) return true;
    }
    return false;
}

bool waitDone(WAVEHDR& header, int milliseconds = 5000) {
    auto start = Clock::now();
    while ((flags(header) & WHDR_DONE) == 0) {
        if (Clock::now() - start > std::chrono::milliseconds(milliseconds)) return false;
        Sleep(1);
    }
    return true;
}

WAVEFORMATEX monoFormat(DWORD rate = 8000, WORD bits = 16) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = WORD(bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

struct Block {
    explicit Block(size_t bytes, uint8_t fill) : data(bytes, fill) {
        header.lpData = reinterpret_cast<char*>(data.data());
        header.dwBufferLength = DWORD(bytes);
    }
    std::vector<uint8_t> data;
    WAVEHDR header{};
};

class WaveOutLayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = ::testing::TempDir() + "wave_out_layer_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".raw";
        std::remove(path_.c_str());
        setenv("VELTRANE_WAVEOUT_FILE", path_.c_str(), 1);
        setenv("VELTRANE_WAVEOUT_PACE", "fast", 1);
    }
    void TearDown() override {
        unsetenv("VELTRANE_WAVEOUT_FILE");
        unsetenv("VELTRANE_WAVEOUT_PACE");
        std::remove(path_.c_str());
    }
    std::vector<uint8_t> played() const {
        std::ifstream in(path_, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    HWAVEOUT openDevice(const WAVEFORMATEX& format) {
        HWAVEOUT device = nullptr;
        EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, 0), MMSYSERR_NOERROR);
        return device;
    }
    MMRESULT queue(HWAVEOUT device, Block& block) {
        if (MMRESULT r = waveOutPrepareHeader(device, &block.header, sizeof(WAVEHDR)); r != MMSYSERR_NOERROR)
            return r;
        return waveOutWrite(device, &block.header, sizeof(WAVEHDR));
    }

    std::string path_;
};

TEST_F(WaveOutLayerTest, WrittenBlocksPlayInOrderAndComeBackDone) {
    HWAVEOUT device = openDevice(monoFormat());
    ASSERT_NE(device, nullptr);
    Block a(400, 1), b(2, 2), c(1000, 3);
    for (Block* block : {&a, &b, &c}) ASSERT_EQ(queue(device, *block), MMSYSERR_NOERROR);
    for (Block* block : {&a, &b, &c}) {
        ASSERT_TRUE(waitDone(block->header));
        EXPECT_EQ(flags(block->header), WHDR_DONE | WHDR_PREPARED);
        EXPECT_EQ(waveOutUnprepareHeader(device, &block->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        EXPECT_EQ(flags(block->header), WHDR_DONE);
    }
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    std::vector<uint8_t> expected(a.data);
    expected.insert(expected.end(), b.data.begin(), b.data.end());
    expected.insert(expected.end(), c.data.begin(), c.data.end());
    EXPECT_EQ(played(), expected);
}

TEST_F(WaveOutLayerTest, PauseHoldsResetReturnsEverythingAndRestartGoesOn) {
    HWAVEOUT device = openDevice(monoFormat());
    ASSERT_NE(device, nullptr);
    ASSERT_EQ(waveOutPause(device), MMSYSERR_NOERROR);
    Block a(100, 1), b(100, 2);
    ASSERT_EQ(queue(device, a), MMSYSERR_NOERROR);
    ASSERT_EQ(queue(device, b), MMSYSERR_NOERROR);
    Sleep(50);
    EXPECT_EQ(flags(a.header), WHDR_INQUEUE | WHDR_PREPARED);
    EXPECT_TRUE(played().empty());
    // Queued blocks cannot be unprepared, nor the device closed under them.
    EXPECT_EQ(waveOutUnprepareHeader(device, &a.header, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutClose(device), WAVERR_STILLPLAYING);
    EXPECT_EQ(waveOutWrite(device, &a.header, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);

    ASSERT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
    EXPECT_EQ(flags(a.header), WHDR_DONE | WHDR_PREPARED);
    EXPECT_EQ(flags(b.header), WHDR_DONE | WHDR_PREPARED);

    // Still paused after the reset: a new block waits for the restart.
    Block c(100, 3);
    ASSERT_EQ(queue(device, c), MMSYSERR_NOERROR);
    Sleep(50);
    EXPECT_EQ(flags(c.header) & WHDR_DONE, 0u);
    ASSERT_EQ(waveOutRestart(device), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitDone(c.header));
    EXPECT_EQ(played(), c.data);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(WaveOutLayerTest, MisuseIsAnsweredWithTheWindowsCodes) {
    HWAVEOUT device = nullptr;
    WAVEFORMATEX format = monoFormat();
    EXPECT_EQ(waveOutOpen(nullptr, WAVE_MAPPER, &format, 0, 0, 0), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutOpen(&device, 7, &format, 0, 0, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, 0x30000), MMSYSERR_INVALFLAG);
    WAVEFORMATEX bad = format;
    bad.wBitsPerSample = 12;
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &bad, 0, 0, 0), WAVERR_BADFORMAT);
    bad = format;
    bad.nBlockAlign = 4;
    EXPECT_EQ(waveOutOpen(&device, WAVE_MAPPER, &bad, 0, 0, 0), WAVERR_BADFORMAT);
    EXPECT_EQ(device, nullptr);

    EXPECT_EQ(waveOutReset(nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutPause(nullptr), MMSYSERR_INVALHANDLE);
    EXPECT_EQ(waveOutClose(nullptr), MMSYSERR_INVALHANDLE);

    device = openDevice(format);
    ASSERT_NE(device, nullptr);
    Block a(10, 1);
    EXPECT_EQ(waveOutWrite(device, &a.header, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    EXPECT_EQ(waveOutPrepareHeader(device, &a.header, 32 - 1), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutPrepareHeader(device, nullptr, sizeof(WAVEHDR)), MMSYSERR_INVALPARAM);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    // A closed handle is no longer known.
    EXPECT_EQ(waveOutReset(device), MMSYSERR_INVALHANDLE);

    setenv("VELTRANE_WAVEOUT_FILE", "/nonexistent-directory/out.raw", 1);
    device = nullptr;
    EXPECT_NE(waveOutOpen(&device, WAVE_MAPPER, &format, 0, 0, 0), MMSYSERR_NOERROR);
    EXPECT_EQ(device, nullptr);
}

TEST_F(WaveOutLayerTest, VolumeScalesWhatIsPlayed) {
    HWAVEOUT device = openDevice(monoFormat());
    ASSERT_NE(device, nullptr);
    DWORD volume = 0;
    ASSERT_EQ(waveOutGetVolume(device, &volume), MMSYSERR_NOERROR);
    EXPECT_EQ(volume, 0xFFFFFFFFu);
    Block full(4, 0);
    full.data = {0x00, 0x40, 0x00, 0xC0};  // 16384, -16384
    full.header.lpData = reinterpret_cast<char*>(full.data.data());
    ASSERT_EQ(queue(device, full), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitDone(full.header));
    ASSERT_EQ(waveOutSetVolume(device, 0x80008000), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutUnprepareHeader(device, &full.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(queue(device, full), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitDone(full.header));
    ASSERT_EQ(waveOutSetVolume(device, 0), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutUnprepareHeader(device, &full.header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(queue(device, full), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitDone(full.header));
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    // 0x8000 / 0xFFFF of 16384 is 8192 (0x2000), truncated toward zero.
    const std::vector<uint8_t> expected = {0x00, 0x40, 0x00, 0xC0, 0x00, 0x20, 0x00, 0xE0, 0, 0, 0, 0};
    EXPECT_EQ(played(), expected);
}

TEST_F(WaveOutLayerTest, RealTimePaceReturnsABlockAboutWhenItHasPlayed) {
    setenv("VELTRANE_WAVEOUT_PACE", "realtime", 1);
    HWAVEOUT device = openDevice(monoFormat(8000, 16));
    ASSERT_NE(device, nullptr);
    Block a(1600, 5);  // 100 ms
    auto start = Clock::now();
    ASSERT_EQ(queue(device, a), MMSYSERR_NOERROR);
    ASSERT_TRUE(waitDone(a.header));
    auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    EXPECT_GE(elapsed, 80);
    EXPECT_LT(elapsed, 1000);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(WaveOutLayerTest, WithoutAFileTheAlsaDefaultDevicePlays) {
    // An ALSA set-up whose default device is the null device, so the test runs anywhere.
    std::string config = ::testing::TempDir() + "wave_out_layer_asound.conf";
    {
        std::ofstream out(config);
        out << "pcm.!default { type null }\n";
    }
    unsetenv("VELTRANE_WAVEOUT_FILE");
    setenv("ALSA_CONFIG_PATH", config.c_str(), 1);
    HWAVEOUT device = openDevice(monoFormat(44100, 16));
    unsetenv("ALSA_CONFIG_PATH");
    std::remove(config.c_str());
    ASSERT_NE(device, nullptr);
    Block a(3528, 1), b(3528, 2);
    ASSERT_EQ(queue(device, a), MMSYSERR_NOERROR);
    ASSERT_EQ(queue(device, b), MMSYSERR_NOERROR);
    EXPECT_TRUE(waitDone(a.header));
    EXPECT_EQ(waveOutPause(device), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutRestart(device), MMSYSERR_NOERROR);
    EXPECT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
    EXPECT_NE(flags(b.header) & WHDR_DONE, 0u);
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
    EXPECT_TRUE(played().empty());
}

TEST_F(WaveOutLayerTest, ASinkThatFailsForGoodReturnsEveryBlockAndRefusesTheNext) {
    // A file that takes nothing stands for a card that was unplugged.
    setenv("VELTRANE_WAVEOUT_FILE", "/dev/full", 1);
    HWAVEOUT device = openDevice(monoFormat());
    ASSERT_NE(device, nullptr);
    Block a(400, 1), b(400, 2), c(400, 3);
    // Both queued before the first write fails.
    ASSERT_EQ(waveOutPause(device), MMSYSERR_NOERROR);
    ASSERT_EQ(queue(device, a), MMSYSERR_NOERROR);
    ASSERT_EQ(queue(device, b), MMSYSERR_NOERROR);
    ASSERT_EQ(waveOutRestart(device), MMSYSERR_NOERROR);
    EXPECT_TRUE(waitDone(a.header));
    EXPECT_TRUE(waitDone(b.header));
    // What Windows answers for a device that has gone.
    EXPECT_EQ(queue(device, c), MMSYSERR_NODRIVER);
    EXPECT_EQ(flags(c.header) & WHDR_INQUEUE, 0u);
    EXPECT_EQ(waveOutReset(device), MMSYSERR_NOERROR);
    for (Block* block : {&a, &b, &c}) {
        EXPECT_EQ(waveOutUnprepareHeader(device, &block->header, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveOutClose(device), MMSYSERR_NOERROR);
}

TEST_F(WaveOutLayerTest, ResetPauseAndCloseDoNotWaitForeverOnASinkStuckInAWrite) {
    HWAVEOUT device = openDevice(monoFormat());
    ASSERT_NE(device, nullptr);
    Block a(400, 1);
    holdWaveOutSinks(true);
    ASSERT_EQ(queue(device, a), MMSYSERR_NOERROR);
    Sleep(20);  // the worker is in its write now
    for (MMRESULT (*call)(HWAVEOUT) : {waveOutReset, waveOutPause, waveOutRestart, waveOutClose}) {
        auto answer = std::async(std::launch::async, call, device);
        const bool answered = answer.wait_for(std::chrono::seconds(6)) == std::future_status::ready;
        if (!answered) holdWaveOutSinks(false);  // let the call end, or the test never would
        ASSERT_TRUE(answered);
        EXPECT_EQ(answer.get(), MMSYSERR_NOERROR);
    }
    // The reset gave the block back although the sink still had it.
    EXPECT_NE(flags(a.header) & WHDR_DONE, 0u);
    // The close let the worker go with the device; under AddressSanitizer,
    // the worker finishes its write on a device that is still there, then
    // frees it, which closes the file.
    EXPECT_TRUE(fileOpenHere(path_));
    holdWaveOutSinks(false);
    auto start = Clock::now();
    while (fileOpenHere(path_) && Clock::now() - start < std::chrono::seconds(5)) Sleep(1);
    EXPECT_FALSE(fileOpenHere(path_));
    EXPECT_EQ(played(), a.data);
}

TEST_F(WaveOutLayerTest, ACloseBetweenAnotherCallsCheckAndItsUseFreesNothingInUse) {
    // Under AddressSanitizer: each call below finds its device open, then the
    // handle is closed, as by another thread, before the call goes on.
    static HWAVEOUT closing = nullptr;
    afterWaveOutHandleCheck([](HWAVEOUT handle) {
        if (handle != closing) return;
        closing = nullptr;
        EXPECT_EQ(waveOutClose(handle), MMSYSERR_NOERROR);
    });
    WAVEFORMATEX format = monoFormat();
    for (MMRESULT (*call)(HWAVEOUT) : {waveOutReset, waveOutPause, waveOutRestart}) {
        closing = openDevice(format);
        ASSERT_NE(closing, nullptr);
        EXPECT_EQ(call(closing), MMSYSERR_INVALHANDLE);
    }
    Block a(10, 1);
    closing = openDevice(format);
    EXPECT_EQ(waveOutPrepareHeader(closing, &a.header, sizeof(WAVEHDR)), MMSYSERR_INVALHANDLE);
    closing = openDevice(format);
    DWORD volume = 0;
    EXPECT_EQ(waveOutGetVolume(closing, &volume), MMSYSERR_INVALHANDLE);
    afterWaveOutHandleCheck(nullptr);
    EXPECT_EQ(openWaveOutCount(), 0);
}

TEST(GlobalMemoryTest, AFreedHandleIsRefusedWithoutBeingReadThrough) {
    // Under AddressSanitizer: the second free must not read the freed block.
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE, 32);
    ASSERT_NE(handle, nullptr);
    const int32_t live = liveGlobalAllocations();
    EXPECT_EQ(GlobalFree(handle), nullptr);
    EXPECT_EQ(liveGlobalAllocations(), live - 1);
    SetLastError(0);
    EXPECT_EQ(GlobalFree(handle), handle);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(GlobalLock(handle), nullptr);
    EXPECT_EQ(GlobalUnlock(handle), 0);
    EXPECT_EQ(liveGlobalAllocations(), live - 1);
    int onTheStack = 0;
    EXPECT_EQ(GlobalFree(&onTheStack), &onTheStack);
}

TEST(GlobalMemoryTest, LocksAreCountedAndTheLastUnlockAnswersZeroWithoutAnError) {
    HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_SHARE, 64);
    ASSERT_NE(handle, nullptr);
    void* first = GlobalLock(handle);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(GlobalLock(handle), first);
    SetLastError(1234);
    EXPECT_NE(GlobalUnlock(handle), 0);
    EXPECT_EQ(GlobalUnlock(handle), 0);
    EXPECT_EQ(GetLastError(), 0u);
    EXPECT_EQ(GlobalUnlock(handle), 0);
    EXPECT_NE(GetLastError(), 0u);
    EXPECT_EQ(GlobalFree(handle), nullptr);

    HGLOBAL zeroed = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 16);
    auto* bytes = static_cast<uint8_t*>(GlobalLock(zeroed));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(bytes[i], 0);
    GlobalUnlock(zeroed);
    EXPECT_EQ(GlobalFree(zeroed), nullptr);
}

TEST(ThreadStartTest, RunsTheFunctionWithItsArgumentWithoutAHandleToKeep) {
    std::atomic<int> seen{0};
    uintptr_t result = _beginthread([](void* p) { static_cast<std::atomic<int>*>(p)->store(42); }, 0, &seen);
    ASSERT_NE(result, uintptr_t(-1));
    auto start = Clock::now();
    while (seen.load() == 0 && Clock::now() - start < std::chrono::seconds(5)) Sleep(1);
    EXPECT_EQ(seen.load(), 42);
    EXPECT_EQ(SetThreadPriority(reinterpret_cast<HANDLE>(intptr_t(1)), THREAD_PRIORITY_ABOVE_NORMAL), 0);
}

TEST(ThreadStartTest, PriorityIsSetRelativeToTheProcesssNiceValue) {
    // As on Windows, where a thread's priority is relative to its process's
    // class: the process here runs three steps nicer than it started.
    const int started = getpriority(PRIO_PROCESS, id_t(getpid()));
    if (started > 15) GTEST_SKIP() << "the process is already at nice " << started;
    ASSERT_EQ(setpriority(PRIO_PROCESS, id_t(getpid()), started + 3), 0);
    struct Seen {
        std::atomic<int> normal{100};
        std::atomic<int> raised{100};
        std::atomic<bool> done{false};
    } seen;
    ASSERT_NE(_beginthread(
                  [](void* p) {
                      auto* s = static_cast<Seen*>(p);
                      if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL) != 0)
                          s->normal.store(getpriority(PRIO_PROCESS, id_t(gettid())));
                      if (SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_ABOVE_NORMAL) != 0)
                          s->raised.store(getpriority(PRIO_PROCESS, id_t(gettid())));
                      s->done.store(true);
                  },
                  0, &seen),
              uintptr_t(-1));
    auto start = Clock::now();
    while (!seen.done.load() && Clock::now() - start < std::chrono::seconds(5)) Sleep(1);
    // Back where it was, when the process may go there (root may).
    setpriority(PRIO_PROCESS, id_t(getpid()), started);
    ASSERT_TRUE(seen.done.load());
    EXPECT_EQ(seen.normal.load(), started + 3);
    // Raising is for the privileged only; where it went through, it is one step.
    if (seen.raised.load() != 100) {
        EXPECT_EQ(seen.raised.load(), started + 2);
    }
}

}  // namespace
}  // namespace platform
