// What the listener of `ahx play` hears at a moment: a second player and
// renderer follow the playing song sample for sample on the caller's thread,
// up to the sample the clock says is sounding. The status line reads its
// position and levels from here, neither from the player the playback thread
// ticks nor from the blocks it has rendered ahead of the sound.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "audio/channel_mix.h"
#include "shells/ahx/song_end.h"

namespace tools {

class HeardSound {
public:
    // The song from `start` (a subsong number starts that subsong); voices
    // not heard[v] show no level.
    HeardSound(const ahx::Song& song, const ahx::WaveTables& tables, const StartPoint& start,
               const bool (&heard)[audio::kVoices]);

    // Follows the song up to `frame` samples from its start (never back),
    // keeping each voice's loudest sample on the way.
    void advanceTo(int64_t frame);
    int64_t frame() const { return frame_; }
    // The player as the sample at frame() left it.
    const ahx::Player& player() const { return *player_; }
    // The loudest sample of voice v (0..128) since the last advance that
    // moved; 0 for a voice not heard.
    int32_t peak(int v) const { return peaks_[v]; }
    bool heard(int v) const { return heard_[v]; }

private:
    std::unique_ptr<ahx::Player> player_;
    std::unique_ptr<audio::VoiceRenderer> renderer_;
    std::vector<int32_t> buffer_;
    bool heard_[audio::kVoices];
    int32_t peaks_[audio::kVoices] = {};
    int64_t frame_ = 0;
};

// Five cells per voice, one for every 6 dB from -30 dB of the voice's full
// level: " 1[#####] 2[##   ] 3[ off ] 4[     ]".
int32_t meterCells(int32_t peak);
std::string levelMeter(const HeardSound& sound);

}  // namespace tools
