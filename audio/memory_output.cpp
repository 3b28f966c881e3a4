#include "audio/memory_output.h"

#include <algorithm>
#include <new>

#include "audio/sample_conversion.h"

namespace audio {

MemoryOutput::~MemoryOutput() {
    MemoryOutput::release();
}

int MemoryOutput::setup(int32_t newSampleRate, int32_t newBitsPerSample, int32_t newFrames, float newGain) {
    pcmBlock_.reset();
    pcmNext_ = pcmCount_ = 0;
    if (MixerOutput::setup(newSampleRate, newBitsPerSample, newFrames, newGain) == 0) return 0;
    pcmBlock_.reset(new (std::nothrow) int16_t[size_t(blockSamples())]);
    if (!pcmBlock_) {
        MixerOutput::release();
        return 0;
    }
    return 1;
}

int MemoryOutput::release() {
    playing = 0;
    pcmBlock_.reset();
    pcmNext_ = pcmCount_ = 0;
    return MixerOutput::release();
}

int MemoryOutput::play(ahx::Player* newPlayer) {
    if (newPlayer == nullptr || mixBuffer == nullptr) return 0;
    stop();
    player = newPlayer;
    blocksRendered_ = 0;
    playing = 1;
    return 1;
}

int MemoryOutput::stop() {
    playing = 0;
    // Like a device reset: what was rendered but not yet handed out is gone.
    pcmNext_ = pcmCount_ = 0;
    return 1;
}

int MemoryOutput::pause() {
    paused = 1;
    return 1;
}

int MemoryOutput::resume() {
    paused = 0;
    return 1;
}

int64_t MemoryOutput::renderPcm16(int16_t* out, int64_t count) {
    if (playing == 0 || player == nullptr || mixBuffer == nullptr || out == nullptr || count <= 0) return 0;
    int64_t written = 0;
    while (written < count) {
        if (pcmNext_ == pcmCount_) {
            renderBlock();
            pcmCount_ = blockSamples();
            pcmNext_ = 0;
            for (int32_t i = 0; i < pcmCount_; ++i) pcmBlock_[size_t(i)] = toPcm16(mixBuffer[i]);
            ++blocksRendered_;
        }
        const int64_t n = std::min<int64_t>(count - written, pcmCount_ - pcmNext_);
        std::copy_n(pcmBlock_.get() + pcmNext_, n, out + written);
        pcmNext_ += int32_t(n);
        written += n;
    }
    return written;
}

}  // namespace audio
