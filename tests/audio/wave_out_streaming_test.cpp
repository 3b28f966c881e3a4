// The device with its playback thread: what it streams equals a direct
// render across pause and resume, the thread comes and goes one at a time
// through quick open-play-stop-release cycles, and stopThread wakes the thread
// rather than waiting for its next poll.
#include <atomic>
#include <chrono>
#include <cstdlib>
#ifndef _WIN32
#include <filesystem>
#endif
#include <memory>
#include <thread>

#include "audio/wave_out_device.h"
#include "device_test_support.h"
#ifndef _WIN32
#include "platform/test_hooks.h"
#endif

namespace audio::test {
namespace {

using Clock = std::chrono::steady_clock;

int64_t millisecondsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

using WaveOutStreamingTest = DeviceTest;

TEST_F(WaveOutStreamingTest, StreamsWhatADirectRenderGivesAcrossPauseAndResume) {
    if (!listening()) GTEST_SKIP() << "needs the file sink";
    auto device = std::make_unique<WaveOutDevice>();
    auto player = makePlayer(11);
    ASSERT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 1);
    ASSERT_EQ(device->startThread(), 1);
    ASSERT_EQ(device->play(player.get()), 1);

    auto waitFor = [&](size_t bytes) {
        auto start = Clock::now();
        while (playedBytes() < bytes && millisecondsSince(start) < 20000) Sleep(5);
        return playedBytes() >= bytes;
    };
    ASSERT_TRUE(waitFor(40 * kBlockBytes));
    ASSERT_EQ(device->pause(), 1);
    Sleep(150);
    size_t atPause = playedBytes();
#ifndef _WIN32
    // The thread keeps polling, but nothing is heard while paused. (A real
    // driver may still drain what it already holds, and in its own periods.)
    EXPECT_EQ(atPause % kBlockBytes, 0u);
    Sleep(150);
    EXPECT_EQ(playedBytes(), atPause);
#endif
    ASSERT_EQ(device->resume(), 1);
    ASSERT_TRUE(waitFor(atPause + 40 * kBlockBytes));

    // Pausing first keeps whatever a last refill pass submits from being heard.
    ASSERT_EQ(device->pause(), 1);
    EXPECT_EQ(device->stop(), 1);
    EXPECT_EQ(device->stopThread(), 1);
    ASSERT_EQ(device->release(), 1);

    std::vector<uint8_t> pcm = played();
    ASSERT_GE(pcm.size(), atPause + 40 * kBlockBytes);
#ifdef _WIN32
    // A real driver may drop or pad what it held when it is reset; what was
    // heard before the final pause must still be the song, unbroken.
    pcm.resize(atPause + 40 * kBlockBytes);
#endif
    EXPECT_FALSE(silent(pcm));
    std::vector<uint8_t> reference = directRender(11, pcm.size());
    size_t firstDifference = 0;
    while (firstDifference < pcm.size() && pcm[firstDifference] == reference[firstDifference])
        ++firstDifference;
    EXPECT_EQ(firstDifference, pcm.size())
        << "streams part at byte " << firstDifference << " (block " << firstDifference / kBlockBytes << ")";
}

#ifndef _WIN32

// The threads of this process as the system sees them, whatever the code
// that started them counts.
int32_t osThreads() {
    int32_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
}

// Waits (boundedly) for the count to come down to `expected`: a thread that
// has answered stopThread may still be on its way out of the system.
int32_t settledThreads(int32_t expected) {
    auto start = Clock::now();
    int32_t now = osThreads();
    while (now > expected && millisecondsSince(start) < 1000) {
        Sleep(1);
        now = osThreads();
    }
    return now;
}

// Notes the most threads the process had at once while it lives.
class ThreadWatcher {
public:
    ThreadWatcher()
        : thread_([this] {
              while (watching_.load()) {
                  int32_t now = osThreads();
                  if (now > most_.load()) most_.store(now);
                  std::this_thread::yield();
              }
          }) {}
    ~ThreadWatcher() {
        watching_.store(false);
        thread_.join();
    }
    ThreadWatcher(const ThreadWatcher&) = delete;
    ThreadWatcher& operator=(const ThreadWatcher&) = delete;
    int32_t most() const { return most_.load(); }

private:
    std::atomic<bool> watching_{true};
    std::atomic<int32_t> most_{0};
    std::thread thread_;
};

TEST_F(WaveOutStreamingTest, QuickCyclesKeepOnePlaybackThreadAtATime) {
    auto player = makePlayer(5);
    const int32_t liveBefore = platform::liveGlobalAllocations();
    auto device = std::make_unique<WaveOutDevice>();
    ThreadWatcher watcher;
    // Taken with the watcher running, and whatever a sanitizer starts with it.
    Sleep(20);
    const int32_t idle = osThreads();
    for (int cycle = 0; cycle < 150; ++cycle) {
        // One frame per block: a 20 ms poll keeps the cycles quick.
        ASSERT_EQ(device->open(kRate, 16, 1, kBlocks, 1.0f), 1) << "cycle " << cycle;
        const int32_t opened = osThreads();  // the device's own worker is there now
        ASSERT_EQ(device->startThread(), 1) << "cycle " << cycle;
        ASSERT_EQ(device->play(player.get()), 1) << "cycle " << cycle;
        // Now and then let a poll render and submit blocks before the stop.
        if (cycle % 10 == 0) Sleep(25);
        EXPECT_EQ(device->stop(), 1) << "cycle " << cycle;
        EXPECT_EQ(device->stopThread(), 1) << "cycle " << cycle;
        ASSERT_EQ(settledThreads(opened), opened) << "a playback thread outlived stopThread, cycle " << cycle;
        ASSERT_EQ(device->release(), 1) << "cycle " << cycle;
        ASSERT_EQ(settledThreads(idle), idle) << "a thread outlived release, cycle " << cycle;
    }
    // The device's worker and one playback thread, never a second one.
    EXPECT_LE(watcher.most(), idle + 2);
    EXPECT_EQ(platform::liveGlobalAllocations(), liveBefore);
    EXPECT_GT(playedBytes(), 0u);
}

TEST_F(WaveOutStreamingTest, AnUnpluggedDeviceStopsTheSongInsteadOfRacingAhead) {
    // A file that takes nothing: the sink fails for good at its first write,
    // as ALSA does with -ENODEV once a USB card is pulled.
    setenv("VELTRANE_WAVEOUT_FILE", "/dev/full", 1);
    auto device = std::make_unique<WaveOutDevice>();
    auto player = makePlayer(12);
    ASSERT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 1);
    ASSERT_EQ(device->startThread(), 1);
    ASSERT_EQ(device->play(player.get()), 1);
    auto start = Clock::now();
    while (device->deviceLost() == 0 && millisecondsSince(start) < 3000) Sleep(5);
    ASSERT_EQ(device->deviceLost(), 1);
    EXPECT_EQ(device->playing.load(), 0);
    EXPECT_EQ(device->lastRefusal(), platform::MMSYSERR_NODRIVER);
    // The first ring and the refused blocks, two frames each, at tempo 6:
    // the song got no further than its ninth step, and stays there.
    const int32_t position = player->position;
    const int32_t step = player->stepIndex;
    EXPECT_EQ(position, 0);
    EXPECT_LE(step, (kBlocks + WaveOutDevice::kRefusalsBeforeLost) * kFrames / 6 + 1);
    Sleep(300);
    EXPECT_EQ(player->position, position);
    EXPECT_EQ(player->stepIndex, step);

    // The track change of the program, then the device is tried again.
    EXPECT_EQ(device->stop(), 1);
    EXPECT_EQ(device->stopThread(), 1);
    ASSERT_EQ(device->release(), 1);
    setenv("VELTRANE_WAVEOUT_FILE", path_.c_str(), 1);
    ASSERT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 1);
    ASSERT_EQ(device->startThread(), 1);
    ASSERT_EQ(device->play(player.get()), 1);
    start = Clock::now();
    while (playedBytes() < 4 * kBlockBytes && millisecondsSince(start) < 5000) Sleep(5);
    EXPECT_GE(playedBytes(), 4 * kBlockBytes);
    EXPECT_EQ(device->deviceLost(), 0);
    EXPECT_EQ(device->stop(), 1);
    EXPECT_EQ(device->stopThread(), 1);
    EXPECT_EQ(device->release(), 1);
}

TEST_F(WaveOutStreamingTest, NoBlockOfASongIsPlayedAfterStopReturns) {
    auto device = std::make_unique<WaveOutDevice>();
    auto player = makePlayer(13);
    // One frame per block: the poll comes every 20 ms and, with blocks
    // played at once, renders the whole ring each time.
    ASSERT_EQ(device->open(kRate, 16, 1, kBlocks, 1.0f), 1);
    ASSERT_EQ(device->startThread(), 1);
    for (int cycle = 0; cycle < 60; ++cycle) {
        ASSERT_EQ(device->play(player.get()), 1);
        Sleep(DWORD(5 + cycle % 23));
        ASSERT_EQ(device->stop(), 1);
        const size_t atStop = playedBytes();
        Sleep(30);
        ASSERT_EQ(playedBytes(), atStop) << "blocks played after stop, cycle " << cycle;
    }
    EXPECT_EQ(device->stopThread(), 1);
    EXPECT_EQ(device->release(), 1);
}

#endif

TEST_F(WaveOutStreamingTest, PlayHandsAnotherPlayerToTheRunningThread) {
    // Under ThreadSanitizer: the thread reads the player it was given while
    // the caller hands over the next one.
    auto first = makePlayer(14);
    auto second = makePlayer(15);
    auto device = std::make_unique<WaveOutDevice>();
    OPEN_OR_SKIP(*device, kRate, 16, 1, kBlocks, 1.0f);
    ASSERT_EQ(device->startThread(), 1);
    for (int turn = 0; turn < 40; ++turn) {
        ahx::Player* next = turn % 2 == 0 ? first.get() : second.get();
        ASSERT_EQ(device->play(next), 1);
        EXPECT_EQ(device->player, next);
        Sleep(DWORD(3 + turn % 17));
    }
    EXPECT_EQ(device->stop(), 1);
    EXPECT_EQ(device->stopThread(), 1);
    EXPECT_EQ(device->release(), 1);
}

TEST_F(WaveOutStreamingTest, StopThreadWakesTheThreadInsteadOfWaitingOutItsPoll) {
    auto device = std::make_unique<WaveOutDevice>();
    auto player = makePlayer(2);
    // Blocks of two seconds: the thread polls every two seconds, so a stop
    // that waited for the next poll would show.
    constexpr int32_t kLongBlockFrames = 100;
    OPEN_OR_SKIP(*device, kRate, 16, kLongBlockFrames, 2, 1.0f);
    ASSERT_EQ(device->startThread(), 1);
    ASSERT_EQ(device->play(player.get()), 1);
    // Long enough for the first pass to end and the wait to begin.
    Sleep(200);
    EXPECT_EQ(device->stop(), 1);
    auto start = Clock::now();
    EXPECT_EQ(device->stopThread(), 1);
    EXPECT_LT(millisecondsSince(start), 500);
    EXPECT_EQ(WaveOutDevice::livePlaybackThreads(), 0);
    EXPECT_EQ(device->release(), 1);
}

TEST_F(WaveOutStreamingTest, StopThreadWithoutAThreadAnswersAtOnce) {
    // With no thread to clear the request, a wait would never end; the bound is only a backstop.
    auto device = std::make_unique<WaveOutDevice>();
    auto start = Clock::now();
    EXPECT_EQ(device->stopThread(), 1);
    EXPECT_LT(millisecondsSince(start), 500);
    OPEN_OR_SKIP(*device, kRate, 16, kFrames, kBlocks, 1.0f);
    start = Clock::now();
    EXPECT_EQ(device->stopThread(), 1);
    EXPECT_LT(millisecondsSince(start), 500);

    // A second start would leave a thread that no stopThread could end.
    ASSERT_EQ(device->startThread(), 1);
    EXPECT_EQ(device->startThread(), 0);
    EXPECT_EQ(device->stopThread(), 1);
    EXPECT_EQ(WaveOutDevice::livePlaybackThreads(), 0);
    start = Clock::now();
    EXPECT_EQ(device->stopThread(), 1);
    EXPECT_LT(millisecondsSince(start), 500);
    EXPECT_EQ(device->release(), 1);
}

TEST_F(WaveOutStreamingTest, DestroyingADeviceEndsItsThreadAndReleasesIt) {
#ifndef _WIN32
    const int32_t devicesBefore = platform::openWaveOutCount();
#endif
    {
        auto player = makePlayer(4);
        WaveOutDevice device;
        OPEN_OR_SKIP(device, kRate, 16, kFrames, kBlocks, 1.0f);
        ASSERT_EQ(device.startThread(), 1);
        ASSERT_EQ(device.play(player.get()), 1);
        Sleep(50);
        device.stop();
    }
    EXPECT_EQ(WaveOutDevice::livePlaybackThreads(), 0);
#ifndef _WIN32
    EXPECT_EQ(platform::openWaveOutCount(), devicesBefore);
#endif
}

}  // namespace
}  // namespace audio::test
