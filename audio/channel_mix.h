// How the `ahx` tool turns the voice renderer's four voices into what it
// writes and plays: mono, stereo, channels muted, one stem per voice, a fade
// at the end. The voices are the program's own (its mixer sums the same
// four), so the stems add up to the mix and the mono mix is the program's
// output. Nothing here allocates.
#pragma once

#include <cstdint>

#include "audio/voice_renderer.h"

namespace audio {

// How the voices' buffers become 16-bit frames. Every voice makes one
// contribution per output channel: its sample times a weight, rounded down,
//
//     contribution = floor(sample * weight / 1024)
//
// and an output sample is the sum of the heard voices' contributions,
// clamped to -32768..32767. A stem is one voice's contributions alone, so
// wherever the mix does not clamp it is exactly the sum of its stems.
//
// Mono: every heard voice has weight 65536, that is sample * 64: the
// conversion the program's device makes, so mono with all four voices heard
// is the device's output.
// Stereo: voices 1 and 4 (counting from 1) lean left and 2 and 3 right, as
// the Amiga's outputs are wired. At separation P (0..100) a voice has weight
// round(65536 * (100 + P) / 100) on its own side and
// round(65536 * (100 - P) / 100) on the other: at 0 both sides are exactly
// the mono mix, at 100 each side carries only its two voices, twice as loud,
// and at every P left plus right is twice the mono mix (within the
// rounding), so no separation clips where mono does not.
// A fade multiplies each contribution by gain / 65536, rounded down, with
// the gain of fadeGain below.
class ChannelMix {
public:
    static constexpr int32_t kUnity = 65536;

    // Mono over all four voices.
    ChannelMix();

    // `outputChannels` 1 or 2; `separation` 0..100 (stereo only); heard[v]
    // false leaves voice v out. Answers false for values out of range.
    bool configure(int32_t outputChannels, int32_t separation, const bool (&heard)[kVoices]);
    // A fade over frames [start, start + length); frames from start + length
    // on are silent. A length of 0 (the default) is no fade.
    void setFade(int64_t start, int64_t length);

    // `count` frames from voices[v][0..count) to `out` (outputChannels
    // samples per frame, interleaved); `firstFrame` is the stream's frame
    // number of the first, which the fade goes by. Voice samples must lie
    // within +-16383 (the renderer's stay within +-128).
    void mix(const int32_t* const* voices, int32_t count, int64_t firstFrame, int16_t* out) const;
    // Voice v's stem: its contributions alone, laid out as `mix` lays out frames.
    void stem(int v, const int32_t* samples, int32_t count, int64_t firstFrame, int16_t* out) const;

    int32_t outputChannels() const { return outputChannels_; }
    bool heard(int v) const { return heard_[v]; }
    // The weight of voice v on output channel `side` (0 left or mono, 1 right).
    int32_t weight(int v, int side) const { return weights_[side][v]; }

    // The fade gain of frame `frame` for a fade of `length` frames from
    // `start`: 65536 before it; within it q * q / 65536 (rounded down) with
    // q = (frames left in the fade, this one included) * 65536 / length
    // (rounded down), a curve that falls fast at first and gently at the end,
    // which the ear hears as an even fade; 0 after it.
    static int32_t fadeGain(int64_t frame, int64_t start, int64_t length);

private:
    template <int kSides>
    void mixFrames(const int32_t* const* voices, int32_t count, int64_t firstFrame, int16_t* out,
                   int onlyVoice) const;

    int32_t outputChannels_ = 1;
    int32_t weights_[2][kVoices] = {};
    bool heard_[kVoices] = {true, true, true, true};
    int64_t fadeStart_ = 0;
    int64_t fadeLength_ = 0;
};

}  // namespace audio
