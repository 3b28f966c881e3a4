// An output that hands the program's sound to its caller instead of a
// device: the tests, the benchmark and the fuzzers pull the 16-bit samples
// the streaming device would submit.
#pragma once

#include <cstdint>

#include "ahx/player.h"
#include "audio/mixer.h"

namespace audio {

class MemoryOutput final {
public:
    // The mixer's setup, for blocks of `frames` replay frames.
    int setup(int32_t sampleRate, int32_t bitsPerSample, int32_t frames, float gain);
    int release();
    int setOption(int32_t id, int32_t value) { return mixer_.setOption(id, value); }

    // Starts the stream from `player` at a block boundary; 0 without a
    // player or before setup.
    int play(ahx::Player* player);
    int stop();

    // Writes the next `count` samples of the stream to `out`. Answers the
    // samples written: `count`, or 0 while nothing is playing.
    int64_t renderPcm16(int16_t* out, int64_t count);

    int32_t blockSamples() const { return mixer_.blockSamples(); }
    Mixer& mixer() { return mixer_; }

private:
    Mixer mixer_;
    bool playing_ = false;
};

}  // namespace audio
