#include "audio/mixer_output.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace audio {

namespace {

constexpr double kPaulaClock = 3579545.25;
constexpr int32_t kLastPosition = kLoopEnd - 1;

int32_t speedMultiplierOf(const ahx::Player* player) {
    if (player == nullptr) return 1;
    return std::clamp(player->song.speedMultiplier, 1, 4);
}

// Brings a position that was set from outside back into the loop, so the
// run lengths below never see a negative or doubly wrapped position.
int32_t normalisePosition(int32_t p) {
    if (p >= 0 && p < 2 * kLoopEnd) return p;
    int32_t wrapped = p % kLoopEnd;
    return wrapped < 0 ? wrapped + kLoopEnd : wrapped;
}

}  // namespace

int32_t stepForPeriod(int32_t period, int32_t sampleRate) {
    if (period <= 0 || sampleRate <= 0) return 0;
    double step = kPaulaClock / period * 65536.0 / sampleRate;
    // Only reachable at sample rates far below any device's; more than a
    // loop per sample would let a single wrap leave the position outside it.
    if (step >= double(kLoopEnd)) return kLoopEnd;
    return int32_t(step);
}

void fillVolumeTable(VolumeTable& table, double gain) {
    for (int32_t v = 0; v <= 64; ++v) {
        int32_t x = -128 * v;
        for (int32_t k = 0; k < 256; ++k) {
            table[v][k] = int32_t(double(x) * gain) / 64;
            x += v;
        }
    }
}

void mixVoice(const ahx::Voice& voice, const VolumeTable& table, int32_t sampleRate, int32_t interpolate,
              int32_t* position, int32_t* out, int32_t count) {
    // A voice can sound before any note has given it a period; it stays
    // silent until one does rather than divide by zero.
    const int32_t step = stepForPeriod(voice.outPeriod, sampleRate);
    if (voice.outVolume <= 0 || step == 0 || count <= 0) return;
    const int32_t* const row = table[std::min(voice.outVolume, 64)] + 128;
    const int8_t* const wave = voice.outWave;

    int32_t p = normalisePosition(*position);
    int32_t* o = out;
    int32_t remaining = count;
    while (remaining != 0) {
        if (p >= kLoopEnd) p -= kLoopEnd;
        // Every position of the run stays at or before sample 639, so the
        // inner loops need no wrap test.
        int32_t n = std::min((kLastPosition - p) / step + 1, remaining);
        remaining -= n;
        if (interpolate == 0) {
            for (int32_t* end = o + n; o != end; ++o) {
                *o += row[wave[p >> 16]];
                p += step;
            }
        } else {
            for (int32_t* end = o + n; o != end; ++o) {
                const int32_t i = p >> 16;
                const int64_t f = p & 0xFFFF;
                const int64_t mixed = int64_t(row[wave[i]]) * (65536 - f) + int64_t(row[wave[i + 1]]) * f;
                *o += int32_t(mixed >> 16);
                p += step;
            }
        }
    }
    *position = p;
}

MixerOutput::MixerOutput() = default;

MixerOutput::~MixerOutput() {
    delete[] mixBuffer;
}

int MixerOutput::setup(int32_t newSampleRate, int32_t newBitsPerSample, int32_t newFrames, float newGain) {
    MixerOutput::release();
    if (newSampleRate <= 0 || newFrames <= 0) return 0;
    int64_t samples = int64_t(newSampleRate) * newFrames / 50;
    if (samples < 1 || samples > kMaxBlockSamples) return 0;
    sampleRate = newSampleRate;
    bitsPerSample = newBitsPerSample;
    frames = newFrames;
    mixBuffer = new (std::nothrow) int32_t[size_t(samples)]();
    if (mixBuffer == nullptr) return 0;
    if (buildVolumeTable(0, newGain) == 0) {
        MixerOutput::release();
        return 0;
    }
    return 1;
}

int MixerOutput::release() {
    delete[] mixBuffer;
    mixBuffer = nullptr;
    return 1;
}

int MixerOutput::buildVolumeTable(int32_t id, float newGain) {
    if (id != 0) return 0;
    if (!std::isfinite(newGain) || std::fabs(newGain) > kMaxGain) return 0;
    fillVolumeTable(volumeTable, double(newGain));
    gain = newGain;
    return 1;
}

int MixerOutput::setOption(int32_t id, int32_t value) {
    if (id != 1) return 0;
    interpolate = value;
    return 1;
}

int MixerOutput::getGain(int32_t id, float* out) {
    if (id != 0 || out == nullptr) return 0;
    *out = gain;
    return 1;
}

int MixerOutput::getOption(int32_t id, int32_t* out) {
    if (id != 1 || out == nullptr) return 0;
    *out = interpolate;
    return 1;
}

void MixerOutput::mixVoices(int32_t count, int32_t** cursor) {
    if (count <= 0 || cursor == nullptr || *cursor == nullptr) return;
    int32_t* const out = *cursor;
    *cursor = out + count;
    if (player == nullptr) return;
    for (int c = 0; c < ahx::kChannels; ++c) {
        mixVoice(player->voices[c], volumeTable, sampleRate, interpolate, &voicePositions[c], out, count);
    }
}

int32_t MixerOutput::blockTicks() const {
    return speedMultiplierOf(player) * frames;
}

void MixerOutput::renderBlock() {
    if (mixBuffer == nullptr) return;
    const int32_t samples = blockSamples();
    std::fill_n(mixBuffer, samples, 0);
    if (player == nullptr) return;

    // Tick i of T covers samples floor(i*N/T) up to floor((i+1)*N/T): the
    // shares differ by at most one and always add up to the whole block.
    const int64_t ticks = blockTicks();
    int32_t* cursor = mixBuffer;
    for (int64_t i = 0; i < ticks; ++i) {
        player->tick();
        const int64_t count = (i + 1) * samples / ticks - i * samples / ticks;
        mixVoices(int32_t(count), &cursor);
    }
}

}  // namespace audio
