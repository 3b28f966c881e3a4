// An output for a shell without threads, such as the web page: the shell's
// own loop asks it to top up a sink's queue, and every block is pulled from
// the mixer right there, in order, exactly as the waveOut device would submit
// it. The sink plays the blocks at its own pace and reports how many it still
// holds.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/mixer_output.h"

namespace audio {

// Where the blocks go: a queue of 16-bit mono blocks in front of a player.
class BlockSink {
public:
    virtual ~BlockSink() = default;
    // Prepares to take blocks of `blockSamples` samples at `sampleRate`,
    // playing unpaused and empty. False when there is no sound to be had.
    virtual bool open(int32_t sampleRate, int32_t blockSamples) = 0;
    // Appends one whole block; the sink copies it.
    virtual void queue(const int16_t* samples, int32_t count) = 0;
    // Blocks queued and not yet played to their end.
    virtual int32_t pendingBlocks() const = 0;
    // Forgets every queued block at once: nothing more of them is heard.
    virtual void drop() = 0;
    // Holds the queue where it is, silent; resume plays on from there.
    virtual void pause() = 0;
    virtual void resume() = 0;
    virtual void close() = 0;
};

class QueuedBlockOutput final : public MixerOutput {
public:
    explicit QueuedBlockOutput(BlockSink& sink) : sink_(sink) {}
    ~QueuedBlockOutput() override;

    // Like the waveOut device's open: 16-bit blocks of `framesPerBlock`
    // replay frames, at most `blocksAhead` of them queued at a time. Answers
    // 0 for anything the sink cannot take, when the sink gives no sound, and
    // when it is already open (a second open would lose the first).
    int open(int32_t sampleRate, int32_t bitsPerSample, int32_t framesPerBlock, int32_t blocksAhead,
             float gain) override;
    // Drops what is queued and closes the sink; 0 when it was not open.
    int release() override;

    // There is no thread: pump does the playback thread's work.
    int startThread() override { return 1; }
    int stopThread() override { return 1; }
    // Starts streaming from `player` at a block boundary; 0 when not open or
    // without a player.
    int play(ahx::Player* source) override;
    // Ends the stream and drops every queued block; 0 when not open.
    int stop() override;
    int pause() override;
    int resume() override;
    int setVolume(int32_t level) override { return isOpen() && level >= 0 && level <= 64 ? 1 : 0; }
    int spareOperation(int32_t, int32_t) override { return 0; }

    // Pulls and queues blocks until the sink holds blocksAhead of them;
    // nothing while not playing. A paused sink plays nothing, so it
    // has no room to fill; a sink opened for the next song starts unpaused,
    // as a newly opened waveOut device does. Answers the blocks queued.
    int32_t pump();

    bool isOpen() const { return open_; }
    // Blocks queued since the last play.
    int64_t blocksQueued() const { return blocksQueued_; }

private:
    BlockSink& sink_;
    bool open_ = false;
    int32_t blocksAhead_ = 0;
    int64_t blocksQueued_ = 0;
    std::unique_ptr<int16_t[]> pcm_;
};

}  // namespace audio
