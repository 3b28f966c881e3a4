// The device with its playback thread: what it streams equals a direct
// render across pause and resume, the thread comes and goes one at a time
// through quick open-play-stop-release cycles, and stopThread answers soon.
#include <atomic>
#include <chrono>
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

TEST_F(WaveOutStreamingTest, QuickCyclesKeepOnePlaybackThreadAtATime) {
    auto player = makePlayer(5);
    std::atomic<bool> watching{true};
    std::atomic<int32_t> most{0};
    std::thread watcher([&] {
        while (watching.load()) {
            int32_t now = WaveOutDevice::livePlaybackThreads();
            if (now > most.load()) most.store(now);
            std::this_thread::yield();
        }
    });
#ifndef _WIN32
    const int32_t liveBefore = platform::liveGlobalAllocations();
#endif
    auto device = std::make_unique<WaveOutDevice>();
    bool skipped = false;
    for (int cycle = 0; cycle < 200; ++cycle) {
        // One frame per block: a 20 ms poll keeps the cycles quick.
        if (device->open(kRate, 16, 1, kBlocks, 1.0f) != 1) {
            ASSERT_FALSE(listening()) << "cycle " << cycle;
            skipped = true;
            break;
        }
        ASSERT_EQ(device->startThread(), 1) << "cycle " << cycle;
        ASSERT_EQ(device->play(player.get()), 1) << "cycle " << cycle;
        // Now and then let a poll render and submit blocks before the stop.
        if (cycle % 10 == 0) Sleep(25);
        EXPECT_EQ(device->stop(), 1) << "cycle " << cycle;
        EXPECT_EQ(device->stopThread(), 1) << "cycle " << cycle;
        ASSERT_EQ(WaveOutDevice::livePlaybackThreads(), 0) << "cycle " << cycle;
        ASSERT_EQ(device->release(), 1) << "cycle " << cycle;
    }
    watching.store(false);
    watcher.join();
    if (skipped) GTEST_SKIP() << "no sound device could be opened";
    EXPECT_EQ(most.load(), 1);
#ifndef _WIN32
    EXPECT_EQ(platform::liveGlobalAllocations(), liveBefore);
    EXPECT_GT(playedBytes(), 0u);
#endif
}

TEST_F(WaveOutStreamingTest, StopThreadAnswersWithinAboutOneBlock) {
    auto device = std::make_unique<WaveOutDevice>();
    auto player = makePlayer(2);
    OPEN_OR_SKIP(*device, kRate, 16, kFrames, kBlocks, 1.0f);
    ASSERT_EQ(device->startThread(), 1);
    ASSERT_EQ(device->play(player.get()), 1);
    Sleep(100);
    EXPECT_EQ(device->stop(), 1);
    auto start = Clock::now();
    EXPECT_EQ(device->stopThread(), 1);
    // One block is 40 ms and the answer is looked for every 20 ms; the rest is slack.
    EXPECT_LT(millisecondsSince(start), 40 + 20 + 200);
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
