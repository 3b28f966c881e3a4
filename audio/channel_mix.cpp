#include "audio/channel_mix.h"

#include <algorithm>

namespace audio {

namespace {

int16_t clamp16(int32_t v) {
    return int16_t(std::clamp(v, -32768, 32767));
}

// floor(sample * weight / 1024): an arithmetic shift rounds down. In 32 bits,
// which lets the compiler widen the loops: a voice at unit gain stays within
// +-128 and a weight within 131072.
int32_t contribution(int32_t sample, int32_t weight) {
    return (sample * weight) >> 10;
}

int32_t faded(int32_t value, int32_t gain) {
    return int32_t((int64_t(value) * gain) >> 16);
}

}  // namespace

ChannelMix::ChannelMix() {
    const bool all[kVoices] = {true, true, true, true};
    configure(1, 0, all);
}

bool ChannelMix::configure(int32_t outputChannels, int32_t separation, const bool (&heard)[kVoices]) {
    if (outputChannels < 1 || outputChannels > 2 || separation < 0 || separation > 100) return false;
    outputChannels_ = outputChannels;
    const int32_t near = int32_t((int64_t(kUnity) * (100 + separation) + 50) / 100);
    const int32_t far = int32_t((int64_t(kUnity) * (100 - separation) + 50) / 100);
    for (int v = 0; v < kVoices; ++v) {
        heard_[v] = heard[v];
        // Voices 0 and 3 on the left, 1 and 2 on the right.
        const bool left = v == 0 || v == 3;
        if (outputChannels == 1) {
            weights_[0][v] = kUnity;
            weights_[1][v] = 0;
        } else {
            weights_[0][v] = left ? near : far;
            weights_[1][v] = left ? far : near;
        }
        if (!heard[v]) weights_[0][v] = weights_[1][v] = 0;
    }
    return true;
}

void ChannelMix::setFade(int64_t start, int64_t length) {
    fadeStart_ = std::max<int64_t>(start, 0);
    fadeLength_ = std::max<int64_t>(length, 0);
}

int32_t ChannelMix::fadeGain(int64_t frame, int64_t start, int64_t length) {
    if (length <= 0 || frame < start) return kUnity;
    const int64_t left = start + length - frame;
    if (left <= 0) return 0;
    const int64_t q = (left << 16) / length;
    return int32_t((q * q) >> 16);
}

template <int kSides>
void ChannelMix::mixFrames(const int32_t* const* voices, int32_t count, int64_t firstFrame, int16_t* out,
                           int onlyVoice) const {
    int32_t w[kSides][kVoices];
    for (int s = 0; s < kSides; ++s) {
        for (int v = 0; v < kVoices; ++v) w[s][v] = onlyVoice < 0 || onlyVoice == v ? weights_[s][v] : 0;
    }
    // Up to the fade the frames need no gain: the loop the compiler can widen.
    int32_t plain = count;
    if (fadeLength_ > 0) plain = int32_t(std::clamp<int64_t>(fadeStart_ - firstFrame, 0, count));
    const int32_t* const a = voices[0];
    const int32_t* const b = voices[1];
    const int32_t* const c = voices[2];
    const int32_t* const d = voices[3];
    for (int32_t i = 0; i < plain; ++i) {
        for (int s = 0; s < kSides; ++s) {
            const int32_t sum = contribution(a[i], w[s][0]) + contribution(b[i], w[s][1]) +
                                contribution(c[i], w[s][2]) + contribution(d[i], w[s][3]);
            out[i * kSides + s] = clamp16(sum);
        }
    }
    for (int32_t i = plain; i < count; ++i) {
        const int32_t g = fadeGain(firstFrame + i, fadeStart_, fadeLength_);
        for (int s = 0; s < kSides; ++s) {
            const int32_t sum = faded(contribution(a[i], w[s][0]), g) +
                                faded(contribution(b[i], w[s][1]), g) +
                                faded(contribution(c[i], w[s][2]), g) + faded(contribution(d[i], w[s][3]), g);
            out[i * kSides + s] = clamp16(sum);
        }
    }
}

void ChannelMix::mix(const int32_t* const* voices, int32_t count, int64_t firstFrame, int16_t* out) const {
    if (count <= 0) return;
    if (outputChannels_ == 2) {
        mixFrames<2>(voices, count, firstFrame, out, -1);
    } else {
        mixFrames<1>(voices, count, firstFrame, out, -1);
    }
}

void ChannelMix::stem(int v, const int32_t* samples, int32_t count, int64_t firstFrame, int16_t* out) const {
    if (count <= 0 || v < 0 || v >= kVoices) return;
    // The other voices' weights are 0 here, so any buffer stands in for them.
    const int32_t* const voices[kVoices] = {samples, samples, samples, samples};
    if (outputChannels_ == 2) {
        mixFrames<2>(voices, count, firstFrame, out, v);
    } else {
        mixFrames<1>(voices, count, firstFrame, out, v);
    }
}

}  // namespace audio
