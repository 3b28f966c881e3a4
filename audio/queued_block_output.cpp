#include "audio/queued_block_output.h"

#include <new>

namespace audio {

QueuedBlockOutput::~QueuedBlockOutput() {
    QueuedBlockOutput::release();
}

int QueuedBlockOutput::open(int32_t rate, int32_t bits, int32_t framesPerBlock, int32_t blocksAhead,
                            float outputGain) {
    // Whatever the flag kept from the song before, what is heard next is not paused.
    paused = 0;
    if (open_ || bits != 16 || blocksAhead < 1 || framesPerBlock < 1) return 0;
    playing = 0;
    if (setup(rate, bits, framesPerBlock, outputGain) == 0) return 0;
    pcm_.reset(new (std::nothrow) int16_t[size_t(blockSamples())]);
    if (!pcm_ || !sink_.open(rate, blockSamples())) {
        pcm_.reset();
        Mixer::release();
        return 0;
    }
    blocksAhead_ = blocksAhead;
    open_ = true;
    return 1;
}

int QueuedBlockOutput::release() {
    playing = 0;
    if (!open_) return 0;
    sink_.drop();
    sink_.close();
    open_ = false;
    pcm_.reset();
    Mixer::release();
    return 1;
}

int QueuedBlockOutput::play(ahx::Player* source) {
    if (stop() == 0 || source == nullptr) return 0;
    start(source);
    blocksQueued_ = 0;
    playing = 1;
    return 1;
}

int QueuedBlockOutput::stop() {
    playing = 0;
    if (!open_) return 0;
    sink_.drop();
    return 1;
}

int QueuedBlockOutput::pause() {
    paused = 1;
    if (!open_) return 0;
    sink_.pause();
    return 1;
}

int QueuedBlockOutput::resume() {
    paused = 0;
    if (!open_) return 0;
    sink_.resume();
    return 1;
}

int32_t QueuedBlockOutput::pump() {
    if (!open_ || playing == 0 || player == nullptr) return 0;
    const int32_t samples = blockSamples();
    int32_t queued = 0;
    // Bounded by blocksAhead as well, so a sink that is slow to count what it
    // was given cannot make the song run ahead unheard.
    while (queued < blocksAhead_ && sink_.pendingBlocks() < blocksAhead_) {
        pull(pcm_.get(), samples);
        sink_.queue(pcm_.get(), samples);
        ++blocksQueued_;
        ++queued;
    }
    return queued;
}

}  // namespace audio
