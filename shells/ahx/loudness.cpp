#include "shells/ahx/loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <vector>

#include "ahx/player.h"
#include "shells/ahx/song_end.h"

namespace tools {

namespace {

constexpr int32_t kChunk = 4096;

double decibels(double linear) {
    return linear > 0 ? 20 * std::log10(linear) : -std::numeric_limits<double>::infinity();
}

}  // namespace

struct LoudnessMeter::State {
    explicit State(int32_t sampleRate)
        : meter(ebur128_init(1, unsigned(sampleRate),
                             EBUR128_MODE_I | EBUR128_MODE_LRA | EBUR128_MODE_TRUE_PEAK)) {
        if (meter == nullptr) throw std::bad_alloc();
    }
    ~State() { ebur128_destroy(&meter); }
    State(const State&) = delete;
    State& operator=(const State&) = delete;

    ebur128_state* meter;
};

LoudnessMeter::LoudnessMeter(int32_t sampleRate) : state_(std::make_unique<State>(sampleRate)) {}

LoudnessMeter::~LoudnessMeter() = default;

void LoudnessMeter::add(const int16_t* samples, size_t count) {
    if (ebur128_add_frames_short(state_->meter, samples, count) != EBUR128_SUCCESS) throw std::bad_alloc();
    for (size_t i = 0; i < count; ++i) {
        sum_ += samples[i];
        clipped_ += samples[i] == INT16_MAX || samples[i] == INT16_MIN;
        silent_ = silent_ && samples[i] == 0;
    }
    frames_ += int64_t(count);
}

LoudnessFigures LoudnessMeter::figures() const {
    LoudnessFigures f;
    f.frames = frames_;
    f.clipped = clipped_;
    f.silent = silent_;
    // Sound shorter than one 400 ms block has no integrated loudness: the
    // library answers -infinity for it, as for sound below the gate.
    ebur128_loudness_global(state_->meter, &f.integrated);
    if (ebur128_loudness_range(state_->meter, &f.range) != EBUR128_SUCCESS) f.range = 0;
    double peak = 0;
    ebur128_true_peak(state_->meter, 0, &peak);
    f.truePeak = decibels(peak);
    f.dcOffset = frames_ > 0 ? decibels(std::abs(double(sum_) / double(frames_)) / 32768.0)
                             : -std::numeric_limits<double>::infinity();
    return f;
}

SongLoudness measureSongLoudness(const ahx::Song& song, const ahx::WaveTables& tables, int32_t subsong,
                                 int64_t frames) {
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&tables);
    player->song = song;
    player->startSubsong(subsong);
    auto renderer = std::make_unique<audio::VoiceRenderer>();
    renderer->setup(kSampleRate, kFramesPerBlock, 0);
    renderer->start(player.get());
    const audio::ChannelMix mix;  // mono, every voice heard: the device's conversion

    LoudnessMeter mixMeter(kSampleRate);
    std::vector<std::unique_ptr<LoudnessMeter>> voiceMeters;
    for (int v = 0; v < audio::kVoices; ++v)
        voiceMeters.push_back(std::make_unique<LoudnessMeter>(kSampleRate));

    std::vector<int32_t> voiceSamples(size_t(audio::kVoices) * kChunk);
    int32_t* voices[audio::kVoices];
    for (int v = 0; v < audio::kVoices; ++v) voices[v] = voiceSamples.data() + size_t(v) * kChunk;
    std::vector<int16_t> out(kChunk);
    for (int64_t done = 0; done < frames;) {
        const auto n = int32_t(std::min<int64_t>(kChunk, frames - done));
        renderer->render(voices, n);
        mix.mix(voices, n, done, out.data());
        mixMeter.add(out.data(), size_t(n));
        for (int v = 0; v < audio::kVoices; ++v) {
            mix.stem(v, voices[v], n, done, out.data());
            voiceMeters[size_t(v)]->add(out.data(), size_t(n));
        }
        done += n;
    }
    SongLoudness result;
    result.mix = mixMeter.figures();
    for (int v = 0; v < audio::kVoices; ++v) result.voices[v] = voiceMeters[size_t(v)]->figures();
    return result;
}

}  // namespace tools
