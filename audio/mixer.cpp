#include "audio/mixer.h"

#include <algorithm>
#include <new>

#include "audio/sample_conversion.h"

namespace audio {

Mixer::~Mixer() {
    Mixer::release();
}

int Mixer::setup(int32_t newSampleRate, int32_t newBitsPerSample, int32_t newFrames, float newGain) {
    Mixer::release();
    if (VoiceRenderer::setup(newSampleRate, newFrames, interpolate, newGain) == 0) return 0;
    bitsPerSample = newBitsPerSample;
    const int32_t samples = blockSamples();
    mixBuffer = new (std::nothrow) int32_t[size_t(samples)]();
    voiceBuffer_ = new (std::nothrow) int32_t[size_t(samples) * kVoices]();
    if (mixBuffer == nullptr || voiceBuffer_ == nullptr) {
        Mixer::release();
        return 0;
    }
    for (int v = 0; v < kVoices; ++v) voices_[v] = voiceBuffer_ + size_t(v) * size_t(samples);
    capacity_ = samples;
    return 1;
}

int Mixer::release() {
    delete[] mixBuffer;
    mixBuffer = nullptr;
    delete[] voiceBuffer_;
    voiceBuffer_ = nullptr;
    capacity_ = 0;
    return 1;
}

int Mixer::buildVolumeTable(int32_t id, float newGain) {
    if (id != 0) return 0;
    return setGain(newGain);
}

int Mixer::setOption(int32_t id, int32_t value) {
    if (id != 1) return 0;
    interpolate = value;
    return 1;
}

int Mixer::getGain(int32_t id, float* out) {
    if (id != 0 || out == nullptr) return 0;
    *out = gain;
    return 1;
}

int Mixer::getOption(int32_t id, int32_t* out) {
    if (id != 1 || out == nullptr) return 0;
    *out = interpolate;
    return 1;
}

void Mixer::mixVoices(int32_t count, int32_t** cursor) {
    if (count <= 0 || cursor == nullptr || *cursor == nullptr) return;
    int32_t* const out = *cursor;
    *cursor = out + count;
    addVoices(out, count);
}

void Mixer::renderBlock() {
    if (mixBuffer == nullptr) return;
    const int32_t samples = capacity_;
    render(voices_, samples);
    const int32_t* const a = voices_[0];
    const int32_t* const b = voices_[1];
    const int32_t* const c = voices_[2];
    const int32_t* const d = voices_[3];
    for (int32_t i = 0; i < samples; ++i) mixBuffer[i] = a[i] + b[i] + c[i] + d[i];
}

int32_t Mixer::pull(int16_t* out, int32_t count) {
    if (mixBuffer == nullptr || out == nullptr || count <= 0) return 0;
    const int32_t* const a = voices_[0];
    const int32_t* const b = voices_[1];
    const int32_t* const c = voices_[2];
    const int32_t* const d = voices_[3];
    for (int32_t done = 0; done < count;) {
        const int32_t n = std::min(count - done, capacity_);
        render(voices_, n);
        for (int32_t i = 0; i < n; ++i) out[done + i] = toPcm16(a[i] + b[i] + c[i] + d[i]);
        done += n;
    }
    return count;
}

}  // namespace audio
