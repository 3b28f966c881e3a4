// An output that renders into memory instead of a sound device: the file
// writer of the `ahx` tool, the tests and the benchmark pull 16-bit samples
// from it exactly as the streaming device would submit them.
#pragma once

#include <cstdint>
#include <memory>

#include "audio/mixer_output.h"

namespace audio {

class MemoryOutput final : public MixerOutput {
public:
    MemoryOutput() = default;
    ~MemoryOutput() override;

    // Also takes the 16-bit block the samples are converted into.
    int setup(int32_t sampleRate, int32_t bitsPerSample, int32_t frames, float gain) override;
    int release() override;

    // There is no device: these only keep the flags the way a device would.
    int startThread() override { return 1; }
    int stopThread() override { return 1; }
    // Starts the stream from `player` at a block boundary; 0 without a
    // player or before setup.
    int play(ahx::Player* newPlayer) override;
    int stop() override;
    int pause() override;
    int resume() override;
    int setVolume(int32_t level) override { return level >= 0 && level <= 64 ? 1 : 0; }
    int spareOperation(int32_t, int32_t) override { return 0; }

    // Writes the next `count` samples of the stream to `out`, rendering and
    // converting (sample << 6, clamped) one block at a time; samples of a
    // block not yet handed out are kept for the next call, so the stream does
    // not depend on how it is cut into calls. Answers the samples written:
    // `count`, or 0 while nothing is playing.
    int64_t renderPcm16(int16_t* out, int64_t count);

    // Blocks rendered since play.
    int64_t blocksRendered() const { return blocksRendered_; }

private:
    std::unique_ptr<int16_t[]> pcmBlock_;
    int32_t pcmNext_ = 0;
    int32_t pcmCount_ = 0;
    int64_t blocksRendered_ = 0;
};

}  // namespace audio
