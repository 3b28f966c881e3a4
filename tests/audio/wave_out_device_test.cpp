// The waveOut device driven by hand, without its playback thread: open's
// bounds and unwinding, the block conversions, the volume word, the first
// fill, and blocks the device refuses or never gives back.
#include "audio/wave_out_device.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>
#include <vector>

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

void expectClosed(const WaveOutDevice& device) {
    EXPECT_EQ(device.waveOut, nullptr);
    EXPECT_EQ(device.blockCount, 0);
    EXPECT_EQ(device.mixBuffer, nullptr);
    EXPECT_EQ(device.playing.load(), 0);
}

using WaveOutDeviceTest = DeviceTest;

TEST_F(WaveOutDeviceTest, OpenRefusesBlockCountsAndFrameCountsOutOfRange) {
    auto device = std::make_unique<WaveOutDevice>();
    EXPECT_EQ(device->open(kRate, 16, kFrames, 0, 1.0f), 0);
    EXPECT_EQ(device->open(kRate, 16, kFrames, 33, 1.0f), 0);
    EXPECT_EQ(device->open(kRate, 16, 0, kBlocks, 1.0f), 0);
    expectClosed(*device);
    EXPECT_EQ(device->framesPerBlock, 0);

    OPEN_OR_SKIP(*device, kRate, 16, kFrames, 32, 1.0f);
    EXPECT_EQ(device->blockCount, 32);
    EXPECT_EQ(device->blockBytes, 3528);
    // Open is refused while open: the first device and its blocks would be lost.
    EXPECT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 0);
    EXPECT_EQ(device->blockCount, 32);
    EXPECT_EQ(device->release(), 1);
    expectClosed(*device);
    EXPECT_EQ(device->release(), 0);
}

TEST_F(WaveOutDeviceTest, FreshBlocksAreDoneAndUnprepared) {
    auto device = std::make_unique<WaveOutDevice>();
    OPEN_OR_SKIP(*device, kRate, 16, kFrames, kBlocks, 1.0f);
    for (int32_t i = 0; i < kBlocks; ++i) {
        const AudioBlock& block = device->blocks[i];
        ASSERT_NE(block.header, nullptr);
        EXPECT_EQ(flagsOf(block), DWORD(WHDR_DONE));
        EXPECT_EQ(block.prepared, 0);
        EXPECT_EQ(block.header->lpData, reinterpret_cast<char*>(block.data));
        EXPECT_EQ(block.header->dwBufferLength, DWORD(3528));
    }
    EXPECT_EQ(device->blocks[kBlocks].header, nullptr);
    EXPECT_EQ(device->release(), 1);
}

TEST_F(WaveOutDeviceTest, PlayNeedsAnOpenDeviceAndAPlayer) {
    auto device = std::make_unique<WaveOutDevice>();
    auto player = makePlayer(1);
    EXPECT_EQ(device->play(player.get()), 0);
    EXPECT_EQ(device->playing.load(), 0);
    EXPECT_EQ(device->stop(), 0);
    EXPECT_EQ(device->resume(), 0);
    EXPECT_EQ(device->setVolume(64), 0);

    OPEN_OR_SKIP(*device, kRate, 16, kFrames, kBlocks, 1.0f);
    EXPECT_EQ(device->play(nullptr), 0);
    EXPECT_EQ(device->playing.load(), 0);
    EXPECT_EQ(device->play(player.get()), 1);
    EXPECT_EQ(device->playing.load(), 1);
    EXPECT_EQ(device->player, player.get());
    EXPECT_EQ(device->stop(), 1);
    EXPECT_EQ(device->playing.load(), 0);
    EXPECT_EQ(device->release(), 1);
}

TEST_F(WaveOutDeviceTest, VolumeWordSetsBothChannelsToSixtyThreeSixtyFourthsOfTheLevel) {
    const struct {
        int32_t level;
        DWORD word;
    } cases[] = {{64, 0xFC00FC00}, {2, 0x04000400}, {1, 0}, {0, 0}, {32, 0x7C007C00}, {65, 0xFC00FC00}};
    for (const auto& c : cases) EXPECT_EQ(WaveOutDevice::volumeWord(c.level), c.word) << "level " << c.level;

    auto device = std::make_unique<WaveOutDevice>();
    OPEN_OR_SKIP(*device, kRate, 16, kFrames, kBlocks, 1.0f);
    EXPECT_EQ(device->setVolume(32), 1);
#ifndef _WIN32
    // The Linux layer keeps the word exactly; a Windows driver may round it.
    DWORD word = 0;
    ASSERT_EQ(waveOutGetVolume(device->waveOut, &word), MMSYSERR_NOERROR);
    EXPECT_EQ(word, 0x7C007C00u);
#endif
    EXPECT_EQ(device->release(), 1);
}

// Hands out the mixed samples given, as the mixer converts them, then silence.
class FixedSource final : public PcmSource {
public:
    explicit FixedSource(std::vector<int32_t> mixed) : mixed_(std::move(mixed)) {}
    int32_t pull(int16_t* out, int32_t frames) override {
        for (int32_t i = 0; i < frames; ++i)
            out[i] = i < int32_t(mixed_.size()) ? toPcm16(mixed_[size_t(i)]) : 0;
        return frames;
    }

private:
    std::vector<int32_t> mixed_;
};

TEST_F(WaveOutDeviceTest, FillBlockConvertsToSixteenAndEightBitSamples) {
    FixedSource source({511, 512, -512, -513, -3, 0});
    {
        auto device = std::make_unique<WaveOutDevice>();
        OPEN_OR_SKIP(*device, kRate, 16, kFrames, kBlocks, 1.0f);
        ASSERT_EQ(device->pause(), 1);  // keeps the block queued while we look at it
        device->source = &source;
        device->fillBlock(3);
        const uint8_t* data = device->blocks[3].data;
        const int16_t expected[] = {32704, 32767, -32768, -32768, -192, 0};
        for (size_t i = 0; i < std::size(expected); ++i) {
            EXPECT_EQ(int16_t(uint16_t(data[2 * i] | data[2 * i + 1] << 8)), expected[i]) << "sample " << i;
        }
        EXPECT_EQ(device->blocks[3].prepared, 1);
        EXPECT_EQ(flagsOf(device->blocks[3]) & WHDR_DONE, 0u);
        EXPECT_EQ(device->release(), 1);
    }
    {
        auto device = std::make_unique<WaveOutDevice>();
        OPEN_OR_SKIP(*device, kRate, 8, kFrames, kBlocks, 1.0f);
        EXPECT_EQ(device->blockBytes, 1764);
        ASSERT_EQ(device->pause(), 1);
        device->source = &source;
        device->fillBlock(0);
        const uint8_t expected[] = {255, 255, 0, 0, 127, 128};
        for (size_t i = 0; i < std::size(expected); ++i) {
            EXPECT_EQ(device->blocks[0].data[i], expected[i]) << "sample " << i;
        }
        EXPECT_EQ(device->release(), 1);
    }
}

TEST_F(WaveOutDeviceTest, FirstRefillSubmitsEveryBlockInIndexOrder) {
    auto device = std::make_unique<WaveOutDevice>();
    auto player = makePlayer(7);
    OPEN_OR_SKIP(*device, kRate, 16, kFrames, kBlocks, 1.0f);
    ASSERT_EQ(device->play(player.get()), 1);
    ASSERT_EQ(device->pause(), 1);
    device->refill();
    for (int32_t i = 0; i < kBlocks; ++i) {
        EXPECT_EQ(device->blocks[i].prepared, 1);
        EXPECT_EQ(flagsOf(device->blocks[i]) & WHDR_DONE, 0u) << "block " << i;
    }
    // Nothing came back while paused, so a second pass renders nothing.
    int32_t position = player->position;
    int32_t step = player->stepIndex;
    device->refill();
    EXPECT_EQ(player->position, position);
    EXPECT_EQ(player->stepIndex, step);

    ASSERT_EQ(device->resume(), 1);
    auto start = Clock::now();
    for (int32_t i = 0; i < kBlocks; ++i) {
        while ((flagsOf(device->blocks[i]) & WHDR_DONE) == 0 && millisecondsSince(start) < 5000) Sleep(1);
        ASSERT_NE(flagsOf(device->blocks[i]) & WHDR_DONE, 0u) << "block " << i;
    }
    ASSERT_EQ(device->release(), 1);
    if (!listening()) return;
    std::vector<uint8_t> pcm = played();
    ASSERT_EQ(pcm.size(), kBlocks * kBlockBytes);
    EXPECT_FALSE(silent(pcm));
    EXPECT_EQ(pcm, directRender(7, pcm.size()));
}

// Counts frames: frame n is (n, -n) in stereo, n in mono.
class CountingSource final : public PcmSource {
public:
    explicit CountingSource(int32_t channels) : channels_(channels) {}
    int32_t pull(int16_t* out, int32_t frames) override {
        for (int32_t f = 0; f < frames; ++f, ++next_) {
            for (int32_t c = 0; c < channels_; ++c) *out++ = int16_t(c == 0 ? next_ : -next_);
        }
        return frames;
    }
    int32_t next_ = 0;

private:
    int32_t channels_;
};

TEST_F(WaveOutDeviceTest, AStreamedSourceFillsStereoBlocksAndStopHandsBackToTheMixer) {
    auto device = std::make_unique<WaveOutDevice>();
    EXPECT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f, 3), 0);
    expectClosed(*device);
    OPEN_OR_SKIP(*device, kRate, 16, kFrames, 2, 1.0f, 2);
    EXPECT_EQ(device->blockBytes, 2 * 3528);
    // The mixer makes mono only: a stereo device plays a streamed source.
    auto player = makePlayer(3);
    EXPECT_EQ(device->play(player.get()), 0);
    EXPECT_EQ(device->stream(nullptr), 0);
    CountingSource source(2);
    ASSERT_EQ(device->stream(&source), 1);
    ASSERT_EQ(device->pause(), 1);
    device->refill();
    EXPECT_EQ(source.next_, 2 * 1764);
    const uint8_t* second = device->blocks[1].data;
    EXPECT_EQ(int16_t(uint16_t(second[0] | second[1] << 8)), 1764);
    EXPECT_EQ(int16_t(uint16_t(second[2] | second[3] << 8)), -1764);
    EXPECT_EQ(device->stop(), 1);
    EXPECT_EQ(device->source, device.get());
    EXPECT_EQ(device->release(), 1);
    if (listening()) {
        const std::vector<uint8_t> pcm = played();
        EXPECT_TRUE(pcm.size() % 4 == 0 && pcm.size() <= 4 * 3528u) << pcm.size();
    }
}

// A source whose sound ends within a block: the block is queued that much
// shorter, with no silence after it.
class EndingSource final : public PcmSource {
public:
    int32_t pull(int16_t* out, int32_t frames) override {
        const int32_t n = std::min(frames, left_);
        std::fill_n(out, n, int16_t(7));
        left_ -= n;
        return n;
    }

private:
    int32_t left_ = 1764 + 1000;
};

TEST_F(WaveOutDeviceTest, ABlockIsQueuedAsLongAsWhatTheSourceWrote) {
    auto device = std::make_unique<WaveOutDevice>();
    OPEN_OR_SKIP(*device, kRate, 16, kFrames, 2, 1.0f);
    EndingSource source;
    ASSERT_EQ(device->stream(&source), 1);
    ASSERT_EQ(device->pause(), 1);
    device->refill();
    EXPECT_EQ(device->blocks[0].header->dwBufferLength, DWORD(3528));
    EXPECT_EQ(device->blocks[1].header->dwBufferLength, DWORD(2000));
    EXPECT_EQ(device->release(), 1);
}

TEST_F(WaveOutDeviceTest, ReleaseGivesUpOnABlockTheDeviceNeverReturns) {
    auto device = std::make_unique<WaveOutDevice>();
    OPEN_OR_SKIP(*device, kRate, 16, kFrames, kBlocks, 1.0f);
    // As if the device kept block 5 for ever.
    std::atomic_ref<DWORD>(device->blocks[5].header->dwFlags).store(0);
    auto start = Clock::now();
    EXPECT_EQ(device->release(), 0);
    int64_t waited = millisecondsSince(start);
    EXPECT_GE(waited, 1500);
    EXPECT_LT(waited, 6000);
    // Nothing was freed under the device: once the block is back, release completes.
    EXPECT_NE(device->waveOut, nullptr);
    EXPECT_EQ(device->blockCount, kBlocks);
    std::atomic_ref<DWORD>(device->blocks[5].header->dwFlags).store(WHDR_DONE);
    EXPECT_EQ(device->release(), 1);
    expectClosed(*device);
}

#ifndef _WIN32

TEST_F(WaveOutDeviceTest, OpenFailingPartWayGivesBackWhatItTookAndCanBeRepeated) {
    const int32_t liveBefore = platform::liveGlobalAllocations();
    const int32_t devicesBefore = platform::openWaveOutCount();
    // Each block takes two allocations: fail the first, the middle ones and the last.
    for (int32_t failAfter : {0, 1, 2, 3, 16, 17, 31}) {
        auto device = std::make_unique<WaveOutDevice>();
        platform::failGlobalAllocAfter(failAfter);
        EXPECT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 0) << "failing after " << failAfter;
        platform::failGlobalAllocAfter(-1);
        expectClosed(*device);
        for (const AudioBlock& block : device->blocks) {
            EXPECT_EQ(block.dataHandle, nullptr);
            EXPECT_EQ(block.header, nullptr);
        }
        EXPECT_EQ(platform::liveGlobalAllocations(), liveBefore) << "failing after " << failAfter;
        EXPECT_EQ(platform::openWaveOutCount(), devicesBefore) << "failing after " << failAfter;
        EXPECT_EQ(device->release(), 0);

        ASSERT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 1);
        EXPECT_EQ(device->release(), 1);
        EXPECT_EQ(platform::liveGlobalAllocations(), liveBefore);
    }
}

TEST_F(WaveOutDeviceTest, OpenWithoutADeviceTakesNothing) {
    const int32_t liveBefore = platform::liveGlobalAllocations();
    auto device = std::make_unique<WaveOutDevice>();
    setenv("VELTRANE_WAVEOUT_FILE", "/nonexistent-directory/out.raw", 1);
    EXPECT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 0);
    expectClosed(*device);
    EXPECT_EQ(platform::liveGlobalAllocations(), liveBefore);
    auto player = makePlayer(1);
    EXPECT_EQ(device->play(player.get()), 0);

    setenv("VELTRANE_WAVEOUT_FILE", path_.c_str(), 1);
    ASSERT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 1);
    EXPECT_EQ(device->release(), 1);
}

TEST_F(WaveOutDeviceTest, ABlockTheDeviceRefusedIsFreeForTheNextPassAndForRelease) {
    auto device = std::make_unique<WaveOutDevice>();
    auto player = makePlayer(3);
    ASSERT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 1);
    ASSERT_EQ(device->play(player.get()), 1);
    ASSERT_EQ(device->pause(), 1);
    platform::failWaveOutWrites(3);
    device->refill();
    for (int32_t i = 0; i < kBlocks; ++i) {
        DWORD done = flagsOf(device->blocks[i]) & WHDR_DONE;
        if (i < 3) {
            EXPECT_NE(done, 0u) << "refused block " << i;
        } else {
            EXPECT_EQ(done, 0u) << "queued block " << i;
        }
    }
    // The next pass takes the refused blocks again, and only those.
    device->refill();
    for (int32_t i = 0; i < kBlocks; ++i) EXPECT_EQ(flagsOf(device->blocks[i]) & WHDR_DONE, 0u) << i;

    platform::failWaveOutWrites(2);
    ASSERT_EQ(device->stop(), 1);
    device->playing.store(1);
    device->refill();
    device->playing.store(0);
    auto start = Clock::now();
    EXPECT_EQ(device->release(), 1);
    EXPECT_LT(millisecondsSince(start), 1000);
    platform::failWaveOutWrites(0);
}

TEST_F(WaveOutDeviceTest, ADeviceThatRefusesBlockAfterBlockIsLostAndTriedAgainAtTheNextOpen) {
    auto device = std::make_unique<WaveOutDevice>();
    auto player = makePlayer(6);
    ASSERT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 1);
    ASSERT_EQ(device->play(player.get()), 1);
    ASSERT_EQ(device->pause(), 1);
    platform::failWaveOutWrites(1000);
    device->refill();
    // The limit is reached part way through the pass; the rest is not rendered.
    EXPECT_EQ(device->deviceLost(), 1);
    EXPECT_EQ(device->lastRefusal(), platform::MMSYSERR_NOMEM);
    EXPECT_EQ(device->playing.load(), 0);
    for (int32_t i = WaveOutDevice::kRefusalsBeforeLost; i < kBlocks; ++i) {
        EXPECT_EQ(device->blocks[i].prepared, 0) << "block " << i;
    }
    const int32_t position = player->position;
    const int32_t step = player->stepIndex;
    device->refill();
    EXPECT_EQ(player->position, position);
    EXPECT_EQ(player->stepIndex, step);
    EXPECT_EQ(device->play(player.get()), 0);
    platform::failWaveOutWrites(0);

    // A track change: stop, release, then the next open tries the device afresh.
    EXPECT_EQ(device->stop(), 1);
    ASSERT_EQ(device->release(), 1);
    ASSERT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 1);
    EXPECT_EQ(device->deviceLost(), 0);
    ASSERT_EQ(device->play(player.get()), 1);
    device->refill();
    for (int32_t i = 0; i < kBlocks; ++i) EXPECT_EQ(device->blocks[i].prepared, 1) << "block " << i;
    EXPECT_EQ(device->release(), 1);
}

TEST_F(WaveOutDeviceTest, RefusalsThatAreNotInARowDoNotLoseTheDevice) {
    auto device = std::make_unique<WaveOutDevice>();
    auto player = makePlayer(8);
    ASSERT_EQ(device->open(kRate, 16, kFrames, kBlocks, 1.0f), 1);
    ASSERT_EQ(device->play(player.get()), 1);
    ASSERT_EQ(device->pause(), 1);
    for (int pass = 0; pass < 4; ++pass) {
        platform::failWaveOutWrites(WaveOutDevice::kRefusalsBeforeLost - 1);
        ASSERT_EQ(device->stop(), 1);
        device->playing.store(1);
        device->refill();
        EXPECT_EQ(device->deviceLost(), 0) << "pass " << pass;
    }
    platform::failWaveOutWrites(0);
    EXPECT_EQ(device->release(), 1);
}

#endif

}  // namespace
}  // namespace audio::test
