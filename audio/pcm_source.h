// Where an output's sound comes from. Every output pulls: the waveOut
// device's playback thread, the web page's queue, the tests and the
// benchmark ask for the next frames when they have room for them, so an
// offline render is a loop and no sink knows how the sound is made.
#pragma once

#include <cstdint>

namespace audio {

class PcmSource {
public:
    virtual ~PcmSource() = default;
    // Writes the next `frames` frames of 16-bit PCM to `out`, interleaved,
    // as many samples a frame as the source has channels. Answers the frames
    // written: fewer where the sound ends within them (or must wait for what
    // follows), and nothing is to be played after those.
    virtual int32_t pull(int16_t* out, int32_t frames) = 0;
};

}  // namespace audio
