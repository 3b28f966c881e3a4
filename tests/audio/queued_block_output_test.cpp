// The output the web page pumps from its own loop: what it queues is the
// waveOut device's stream sample for sample, it keeps the sink's queue at
// the depth asked for and no deeper, and stop, pause and a new song treat
// the queue as the device treats its blocks.
#include "audio/queued_block_output.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "ahx/player.h"
#include "audio/memory_output.h"
#include "support/synthetic_songs.h"
#include "support/wave_bank.h"

namespace {

using audio::QueuedBlockOutput;

// A sink that plays nothing by itself: the test says when blocks are heard.
struct FakeSink final : audio::BlockSink {
    bool open(int32_t rate, int32_t samples) override {
        ++opens;
        sampleRate = rate;
        blockSamples = samples;
        paused = false;
        return giveSound;
    }
    void queue(const int16_t* samples, int32_t count) override {
        EXPECT_EQ(count, blockSamples);
        queued.insert(queued.end(), samples, samples + count);
        if (counts) ++pending;
    }
    int32_t pendingBlocks() const override { return pending; }
    void drop() override {
        ++drops;
        pending = 0;
    }
    void pause() override { paused = true; }
    void resume() override { paused = false; }
    void close() override { ++closes; }

    void hear(int32_t blocks) { pending -= blocks; }

    bool giveSound = true;
    bool counts = true;
    bool paused = false;
    int32_t opens = 0;
    int32_t drops = 0;
    int32_t closes = 0;
    int32_t pending = 0;
    int32_t sampleRate = 0;
    int32_t blockSamples = 0;
    std::vector<int16_t> queued;
};

struct Fixture {
    Fixture() {
        player->bindWaveTables(&test_support::sharedBank());
        player->song = synthetic::busySong(3);
        player->startSubsong(0);
    }
    FakeSink sink;
    QueuedBlockOutput out{sink};
    std::unique_ptr<ahx::Player> player = std::make_unique<ahx::Player>();
};

// The same song as the waveOut device would play it, from MemoryOutput.
std::vector<int16_t> deviceStream(int64_t samples) {
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&test_support::sharedBank());
    player->song = synthetic::busySong(3);
    player->startSubsong(0);
    audio::MemoryOutput memory;
    EXPECT_EQ(memory.setup(44100, 16, 2, 1.0f), 1);
    EXPECT_EQ(memory.play(player.get()), 1);
    std::vector<int16_t> pcm(size_t(samples), 0);
    EXPECT_EQ(memory.renderPcm16(pcm.data(), samples), samples);
    return pcm;
}

TEST(QueuedBlockOutput, QueuesTheDeviceStreamAndKeepsTheQueueAtItsDepth) {
    Fixture f;
    ASSERT_EQ(f.out.open(44100, 16, 2, 16, 1.0f), 1);
    EXPECT_EQ(f.sink.blockSamples, 1764);
    EXPECT_EQ(f.sink.sampleRate, 44100);
    ASSERT_EQ(f.out.play(f.player.get()), 1);

    EXPECT_EQ(f.out.pump(), 16);
    EXPECT_EQ(f.out.pump(), 0) << "a full queue takes nothing more";
    f.sink.hear(5);
    EXPECT_EQ(f.out.pump(), 5);
    f.sink.hear(16);
    EXPECT_EQ(f.out.pump(), 16);
    EXPECT_EQ(f.out.blocksQueued(), 37);
    EXPECT_EQ(f.sink.queued, deviceStream(37 * 1764));
}

TEST(QueuedBlockOutput, StopDropsTheQueueAndPauseHoldsIt) {
    Fixture f;
    ASSERT_EQ(f.out.open(44100, 16, 2, 4, 1.0f), 1);
    ASSERT_EQ(f.out.play(f.player.get()), 1);
    EXPECT_EQ(f.out.pump(), 4);

    // Paused, the sink plays nothing, so there is never room for more.
    EXPECT_EQ(f.out.pause(), 1);
    EXPECT_TRUE(f.sink.paused);
    EXPECT_EQ(f.out.pump(), 0);
    EXPECT_EQ(f.out.resume(), 1);
    EXPECT_FALSE(f.sink.paused);
    f.sink.hear(1);
    EXPECT_EQ(f.out.pump(), 1);

    const int32_t dropsBefore = f.sink.drops;
    EXPECT_EQ(f.out.stop(), 1);
    EXPECT_EQ(f.sink.drops, dropsBefore + 1);
    EXPECT_EQ(f.sink.pendingBlocks(), 0);
    EXPECT_EQ(f.out.pump(), 0) << "nothing is rendered after stop";
    EXPECT_EQ(f.sink.queued.size(), size_t(5 * 1764));

    // The next play starts counting afresh and goes on with the song.
    ASSERT_EQ(f.out.play(f.player.get()), 1);
    EXPECT_EQ(f.out.blocksQueued(), 0);
    EXPECT_EQ(f.out.pump(), 4);
    EXPECT_EQ(f.sink.queued, deviceStream(9 * 1764));

    EXPECT_EQ(f.out.release(), 1);
    EXPECT_EQ(f.sink.closes, 1);
    EXPECT_FALSE(f.out.isOpen());
    EXPECT_EQ(f.out.pump(), 0);
    EXPECT_EQ(f.out.release(), 0) << "a second release finds nothing open";
}

TEST(QueuedBlockOutput, RefusesWhatItCannotPlay) {
    Fixture f;
    EXPECT_EQ(f.out.play(f.player.get()), 0) << "not open";
    EXPECT_EQ(f.out.stop(), 0);
    EXPECT_EQ(f.out.pause(), 0);
    EXPECT_EQ(f.out.setVolume(64), 0);
    EXPECT_EQ(f.out.open(44100, 8, 2, 16, 1.0f), 0) << "the sink takes 16-bit samples only";
    EXPECT_EQ(f.out.open(44100, 16, 2, 0, 1.0f), 0);
    EXPECT_EQ(f.out.open(44100, 16, 0, 16, 1.0f), 0);
    EXPECT_EQ(f.sink.opens, 0);

    f.sink.giveSound = false;
    EXPECT_EQ(f.out.open(44100, 16, 2, 16, 1.0f), 0);
    EXPECT_FALSE(f.out.isOpen());
    EXPECT_EQ(f.out.mixBuffer, nullptr);

    f.sink.giveSound = true;
    ASSERT_EQ(f.out.open(44100, 16, 2, 16, 1.0f), 1);
    EXPECT_EQ(f.out.open(44100, 16, 2, 16, 1.0f), 0) << "a second open would lose the first";
    EXPECT_EQ(f.out.play(nullptr), 0);
    EXPECT_EQ(f.out.pump(), 0);
}

TEST(QueuedBlockOutput, ASinkThatDoesNotCountItsBlocksCannotRunTheSongAhead) {
    Fixture f;
    f.sink.counts = false;
    ASSERT_EQ(f.out.open(44100, 16, 2, 16, 1.0f), 1);
    ASSERT_EQ(f.out.play(f.player.get()), 1);
    EXPECT_EQ(f.out.pump(), 16);
    EXPECT_EQ(f.out.pump(), 16);
    EXPECT_EQ(f.sink.queued, deviceStream(32 * 1764));
}

}  // namespace
