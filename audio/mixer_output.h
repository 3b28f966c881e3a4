// The output base: the mixer with the operations of a sound output, which
// is what track control and the pause and resume zones drive. The Windows
// program's output is the waveOut device, the web page's a queue of blocks
// in front of Web Audio; both pull the mixer's sound block by block.
#pragma once

#include <atomic>
#include <cstdint>

#include "ahx/player.h"
#include "audio/mixer.h"

namespace audio {

class MixerOutput : public Mixer {
public:
    // Opens the output for 16-bit (or 8-bit) samples in blocks of
    // `framesPerBlock` replay frames, `blockCount` of them ahead of the
    // listener. An output opened afresh plays unpaused.
    virtual int open(int32_t sampleRate, int32_t bitsPerSample, int32_t framesPerBlock, int32_t blockCount,
                     float gain) = 0;
    virtual int startThread() = 0;
    virtual int stopThread() = 0;
    virtual int play(ahx::Player* player) = 0;
    virtual int stop() = 0;
    virtual int pause() = 0;
    virtual int resume() = 0;
    virtual int setVolume(int32_t level) = 0;
    virtual int spareOperation(int32_t a, int32_t b) = 0;

    // Whether the sound is held by pause: a play/pause key then resumes.
    bool isPaused() const { return paused.load() != 0; }

    // Shared with the playback thread, so read afresh at every poll.
    std::atomic<int32_t> playing{0};
    std::atomic<int32_t> paused{0};
};

}  // namespace audio
