#include "core/track_control.h"

#include "audio/stream_format.h"
#include "core/shared_state.h"

namespace core {

namespace {

constexpr float kGain = 1.0f;

}  // namespace

resources::ResourceData findSongResource(int32_t resourceId) {
    return resources::findProgramResource("AHX", resourceId);
}

TrackControl::TrackControl(ahx::Player& player, const ahx::WaveTables& waveTables, audio::MixerOutput& output,
                           SongLookup findSong, const int32_t* trackIds)
    : player_(player), waveTables_(waveTables), output_(output), findSong_(findSong), trackIds_(trackIds) {}

int TrackControl::startTrack(int32_t resourceId) {
    player_.bindWaveTables(&waveTables_);
    resources::ResourceData song = findSong_(resourceId);
    // The player must not be ticked on a song that failed to load.
    if (player_.loadSong(song.bytes, int32_t(song.size)) == 0) return 0;
    player_.startSubsong(0);
    output_.open(audio::kSampleRate, audio::kBitsPerSample, audio::kFramesPerBlock, audio::kBlockCount,
                 kGain);
    output_.startThread();
    output_.play(&player_);
    return 0;
}

void TrackControl::changeToCurrentTrack() {
    int32_t resourceId = trackIds_[currentTrack];
    if (resourceId == -1) return;
    output_.stop();
    output_.stopThread();
    output_.release();
    startTrack(resourceId);
}

void TrackControl::selectNextTrack() {
    currentTrack = (currentTrack + 1) % trackCount;
    changePending_ = true;
}

void TrackControl::selectPreviousTrack() {
    currentTrack -= 1;
    if (currentTrack < 0) currentTrack = trackCount - 1;
    changePending_ = true;
}

bool TrackControl::playSelectedTrack() {
    if (!changePending_) return false;
    changePending_ = false;
    changeToCurrentTrack();
    return true;
}

void TrackControl::nextTrack() {
    selectNextTrack();
    playSelectedTrack();
}

void TrackControl::previousTrack() {
    selectPreviousTrack();
    playSelectedTrack();
}

}  // namespace core
