// The one tick schedule of the program's sound: drives the player fifty
// times a second of output (times the song's speed multiplier) and resamples
// each of its four voices at the voice's period through the volume table.
// Everything that plays or writes a song renders through it: the mixer sums
// the four voices into the program's mono, and the `ahx` tool mixes them to
// stereo or keeps them apart as stems, so every mix adds up from the same
// voices whatever the block size and however the stream is cut into calls.
#pragma once

#include <cstdint>

#include "ahx/player.h"

namespace audio {

inline constexpr int kVoices = ahx::kChannels;
// A voice's 640-sample loop in 16.16 fixed point.
inline constexpr int32_t kLoopEnd = 0x2800000;
// Largest block setup accepts; far beyond any real device (the program's
// blocks are kBlockSamples, audio/stream_format.h).
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

class VoiceRenderer {
public:
    // `frames` replay frames per block (the program's device uses 2): the
    // same value gives the same tick schedule. Answers 0, changing nothing,
    // for a rate or block no output could use or a gain that is not finite
    // or beyond kMaxGain in size. The voices' positions run on.
    int setup(int32_t sampleRate, int32_t frames, int32_t interpolate = 0, float gain = 1.0f);
    // Rebuilds the volume table; refuses what setup refuses.
    int setGain(float gain);
    // Plays `player` (already started) from a block boundary. The voices go
    // on from where the last song left them, as on the program's one device;
    // a fresh renderer has them at the start of their loops.
    void start(ahx::Player* player);

    // Writes the next `count` samples of each voice to voices[v][0..count),
    // replacing what was there; ticks the player as the ticks fall due:
    // each tick of a block is followed by its share of the block's samples.
    // Without a player the buffers are silent.
    void render(int32_t* const* voices, int32_t count);
    // Adds `count` samples of the four voices to out[0..count) as they stand,
    // without ticking. A voice with volume 0 or period 0 is silent and keeps
    // its position.
    void addVoices(int32_t* out, int32_t count);

    // Samples in one block: sampleRate * frames / 50.
    int32_t blockSamples() const { return int32_t(int64_t(sampleRate) * frames / 50); }
    // Ticks in one block: frames times the song's speed multiplier (taken as 1..4).
    int32_t blockTicks() const;
    // Samples rendered since start.
    int64_t samplesRendered() const { return rendered_; }

    int32_t sampleRate = 0;
    int32_t frames = 0;
    ahx::Player* player = nullptr;
    int32_t interpolate = 0;
    float gain = 0.0f;
    VolumeTable volumeTable = {};
    // 16.16 positions of the four voices; kept across setup and song changes.
    int32_t voicePositions[kVoices] = {};

private:
    void nextTick();

    int64_t ticksThisBlock_ = 0;
    int64_t tickInBlock_ = 0;
    int32_t shareLeft_ = 0;
    int64_t rendered_ = 0;
};

}  // namespace audio
