// The output base: drives the player fifty times a second of output (times
// the song's speed multiplier) and resamples its four voices into a block of
// 32-bit mixed samples. Devices derive from it and pull with renderBlock.
#pragma once

#include <atomic>
#include <cstdint>

#include "ahx/player.h"

namespace audio {

// A voice's 640-sample loop in 16.16 fixed point.
inline constexpr int32_t kLoopEnd = 0x2800000;
// Largest block setup accepts; far beyond any real device (the program uses 1764).
inline constexpr int64_t kMaxBlockSamples = int64_t(1) << 22;
// Gains beyond this would let four voices overflow the 32-bit mix.
inline constexpr float kMaxGain = 1024.0f;

// The 16.16 increment per output sample of a voice at `period`, 0 for a
// period of 0 or less; never more than one whole loop.
int32_t stepForPeriod(int32_t period, int32_t sampleRate);

// Per volume 0..64, the mixed value of each signed 8-bit sample (index
// sample + 128) at `gain`.
using VolumeTable = int32_t[65][256];
void fillVolumeTable(VolumeTable& table, double gain);

// Adds `count` samples of one voice to out[0..count), read from *position
// (16.16 in the voice's loop) on, and leaves *position after them. A voice
// with volume 0 or period 0 adds nothing and keeps its position. The mixer
// adds its four voices into one buffer this way; the tool's per-channel mix
// gives each its own, so the two agree sample for sample.
void mixVoice(const ahx::Voice& voice, const VolumeTable& table, int32_t sampleRate, int32_t interpolate,
              int32_t* position, int32_t* out, int32_t count);

class MixerOutput {
public:
    MixerOutput();
    // Frees a buffer that release did not; devices run their own release first.
    virtual ~MixerOutput();
    MixerOutput(const MixerOutput&) = delete;
    MixerOutput& operator=(const MixerOutput&) = delete;

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
    virtual int startThread() = 0;
    virtual int stopThread() = 0;
    virtual int play(ahx::Player* player) = 0;
    virtual int stop() = 0;
    virtual int pause() = 0;
    virtual int resume() = 0;
    virtual int setVolume(int32_t level) = 0;
    virtual int spareOperation(int32_t a, int32_t b) = 0;
    // Adds `count` samples of the four voices at *cursor and moves the cursor
    // past them. A voice with volume 0 or period 0 is silent and keeps its position.
    virtual void mixVoices(int32_t count, int32_t** cursor);
    // One block into mixBuffer: the block's ticks each followed by their share
    // of the samples, so that every sample of the block is covered even when
    // the speed multiplier does not divide the block.
    virtual void renderBlock();

    // Samples in one block: sampleRate * frames / 50.
    int32_t blockSamples() const { return int32_t(int64_t(sampleRate) * frames / 50); }
    // Ticks in one block: frames times the song's speed multiplier (taken as 1..4).
    int32_t blockTicks() const;

    int32_t bitsPerSample = 0;
    int32_t sampleRate = 0;
    int32_t frames = 0;
    // Shared with the playback thread, so read afresh at every poll.
    std::atomic<int32_t> playing{0};
    std::atomic<int32_t> paused{0};
    ahx::Player* player = nullptr;
    int32_t interpolate = 0;
    float gain = 0.0f;
    int32_t* mixBuffer = nullptr;
    VolumeTable volumeTable = {};
    // 16.16 positions of the four voices; kept across setup and song changes.
    int32_t voicePositions[ahx::kChannels] = {};
};

}  // namespace audio
