#include "audio/voice_renderer.h"

#include <algorithm>
#include <cmath>

namespace audio {

namespace {

constexpr double kPaulaClock = 3579545.25;
constexpr int32_t kLastPosition = kLoopEnd - 1;

// Brings a position that was set from outside back into the loop, so the
// run lengths below never see a negative or doubly wrapped position.
int32_t normalisePosition(int32_t p) {
    if (p >= 0 && p < 2 * kLoopEnd) return p;
    int32_t wrapped = p % kLoopEnd;
    return wrapped < 0 ? wrapped + kLoopEnd : wrapped;
}

bool usableGain(float gain) {
    return std::isfinite(gain) && std::fabs(gain) <= kMaxGain;
}

// Adds `count` samples of one voice to out[0..count), read from *position
// on, and leaves *position after them.
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

int VoiceRenderer::setup(int32_t newSampleRate, int32_t newFrames, int32_t newInterpolate, float newGain) {
    if (newSampleRate <= 0 || newFrames <= 0 || !usableGain(newGain)) return 0;
    const int64_t samples = int64_t(newSampleRate) * newFrames / 50;
    if (samples < 1 || samples > kMaxBlockSamples) return 0;
    sampleRate = newSampleRate;
    frames = newFrames;
    interpolate = newInterpolate;
    setGain(newGain);
    start(player);
    return 1;
}

int VoiceRenderer::setGain(float newGain) {
    if (!usableGain(newGain)) return 0;
    fillVolumeTable(volumeTable, double(newGain));
    gain = newGain;
    return 1;
}

void VoiceRenderer::start(ahx::Player* newPlayer) {
    player = newPlayer;
    ticksThisBlock_ = 0;
    tickInBlock_ = 0;
    shareLeft_ = 0;
    rendered_ = 0;
}

int32_t VoiceRenderer::blockTicks() const {
    const int32_t multiplier = player == nullptr ? 1 : std::clamp(player->song.speedMultiplier, 1, 4);
    return multiplier * frames;
}

void VoiceRenderer::nextTick() {
    if (tickInBlock_ == ticksThisBlock_) {
        // The multiplier is read once a block, before its first tick.
        ticksThisBlock_ = blockTicks();
        tickInBlock_ = 0;
    }
    player->tick();
    // Tick i of T covers samples floor(i*N/T) up to floor((i+1)*N/T): the
    // shares differ by at most one and always add up to the whole block.
    const int64_t samples = blockSamples();
    const int64_t i = tickInBlock_++;
    shareLeft_ = int32_t((i + 1) * samples / ticksThisBlock_ - i * samples / ticksThisBlock_);
}

void VoiceRenderer::render(int32_t* const* voices, int32_t count) {
    if (count <= 0) return;
    for (int v = 0; v < kVoices; ++v) std::fill_n(voices[v], count, 0);
    if (player == nullptr || blockSamples() < 1) return;
    int32_t done = 0;
    while (done < count) {
        if (shareLeft_ == 0) {
            nextTick();
            continue;
        }
        const int32_t n = std::min(shareLeft_, count - done);
        for (int v = 0; v < kVoices; ++v) {
            mixVoice(player->voices[v], volumeTable, sampleRate, interpolate, &voicePositions[v],
                     voices[v] + done, n);
        }
        done += n;
        shareLeft_ -= n;
    }
    rendered_ += count;
}

void VoiceRenderer::addVoices(int32_t* out, int32_t count) {
    if (player == nullptr || out == nullptr || count <= 0) return;
    for (int v = 0; v < kVoices; ++v) {
        mixVoice(player->voices[v], volumeTable, sampleRate, interpolate, &voicePositions[v], out, count);
    }
}

}  // namespace audio
