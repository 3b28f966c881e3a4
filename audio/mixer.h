// The program's sound: the player's four voices rendered on the one tick
// schedule and summed into mono, a block of 32-bit mixed samples at a time
// or as 16-bit PCM for whoever pulls it. The sum is the voices' exactly, so
// the program's output is the `ahx` tool's mono mix of the same voices.
#pragma once

#include <cstdint>

#include "audio/pcm_source.h"
#include "audio/voice_renderer.h"

namespace audio {

class Mixer : public VoiceRenderer, public PcmSource {
public:
    Mixer() = default;
    ~Mixer() override;
    Mixer(const Mixer&) = delete;
    Mixer& operator=(const Mixer&) = delete;

    // Allocates the mixing buffer (freeing an earlier one) and builds the
    // volume table. Answers 0 and keeps no buffer when the block would be
    // empty or absurdly large, or the gain is unusable.
    virtual int setup(int32_t sampleRate, int32_t bitsPerSample, int32_t frames, float gain);
    virtual int release();
    // Only id 0 (the gain) exists. A gain that is not finite or beyond
    // kMaxGain in size is refused with 0 and changes nothing.
    virtual int buildVolumeTable(int32_t id, float gain);
    // Only id 1 (interpolate) exists.
    virtual int setOption(int32_t id, int32_t value);
    virtual int getGain(int32_t id, float* out);
    virtual int getOption(int32_t id, int32_t* out);
    // Adds `count` samples of the four voices at *cursor and moves the cursor
    // past them, without ticking the player.
    virtual void mixVoices(int32_t count, int32_t** cursor);
    // One block into mixBuffer.
    virtual void renderBlock();

    // The next `count` mono samples, each mixed sample << 6 clamped to 16
    // bits: always all of them once set up, and nothing before.
    int32_t pull(int16_t* out, int32_t count) override;

    int32_t bitsPerSample = 0;
    int32_t* mixBuffer = nullptr;

private:
    // Each voice's share of the block being rendered, kVoices blocks long.
    int32_t* voiceBuffer_ = nullptr;
    int32_t* voices_[kVoices] = {};
    int32_t capacity_ = 0;
};

}  // namespace audio
