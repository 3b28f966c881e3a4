#include "shells/ahx/heard_sound.h"

#include <algorithm>
#include <cstdlib>

#include "shells/ahx/song_end.h"

namespace tools {

namespace {

constexpr int32_t kChunk = 1024;
constexpr int32_t kCells = 5;

}  // namespace

HeardSound::HeardSound(const ahx::Song& song, const ahx::WaveTables& tables, const StartPoint& start,
                       const bool (&heard)[audio::kVoices])
    : player_(std::make_unique<ahx::Player>()),
      renderer_(std::make_unique<audio::VoiceRenderer>()),
      buffer_(size_t(audio::kVoices) * kChunk) {
    std::copy(std::begin(heard), std::end(heard), heard_);
    player_->bindWaveTables(&tables);
    player_->song = song;
    startAt(*player_, start);
    renderer_->setup(kSampleRate, kFramesPerBlock, 0);
    renderer_->start(player_.get());
}

void HeardSound::advanceTo(int64_t frame) {
    if (frame <= frame_) return;
    std::fill(std::begin(peaks_), std::end(peaks_), 0);
    int32_t* voices[audio::kVoices];
    for (int v = 0; v < audio::kVoices; ++v) voices[v] = buffer_.data() + size_t(v) * kChunk;
    while (frame_ < frame) {
        const auto n = int32_t(std::min<int64_t>(kChunk, frame - frame_));
        renderer_->render(voices, n);
        for (int v = 0; v < audio::kVoices; ++v) {
            if (!heard_[v]) continue;
            for (int32_t i = 0; i < n; ++i) peaks_[v] = std::max(peaks_[v], std::abs(voices[v][i]));
        }
        frame_ += n;
    }
}

int32_t meterCells(int32_t peak) {
    // 4 is -30 dB of a voice's full 128; each doubling is a cell more.
    int32_t cells = 0;
    for (int32_t level = 4; level <= peak && cells < kCells; level *= 2) ++cells;
    return cells;
}

std::string levelMeter(const HeardSound& sound) {
    std::string meter;
    for (int v = 0; v < audio::kVoices; ++v) {
        meter += ' ';
        meter += char('1' + v);
        meter += '[';
        if (!sound.heard(v)) {
            meter += " off ";
        } else {
            const int32_t cells = meterCells(sound.peak(v));
            meter += std::string(size_t(cells), '#') + std::string(size_t(kCells - cells), ' ');
        }
        meter += ']';
    }
    return meter;
}

}  // namespace tools
