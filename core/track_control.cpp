#include "core/track_control.h"

#include "audio/stream_format.h"
#include "core/shared_state.h"

namespace core {

namespace {

constexpr float kGain = 1.0f;

void changeToCurrentTrack() {
    int32_t resourceId = playback.trackIds[currentTrack];
    if (resourceId == -1) return;
    playback.output->stop();
    playback.output->stopThread();
    playback.output->release();
    startTrack(resourceId);
}

// A step was taken that playSelectedTrack has not played yet.
bool trackChangePending = false;

}  // namespace

Playback playback;

resources::ResourceData findSongResource(int32_t resourceId) {
    return resources::findProgramResource("AHX", resourceId);
}

int startTrack(int32_t resourceId) {
    ahx::Player& player = *playback.player;
    player.bindWaveTables(playback.waveTables);
    resources::ResourceData song = playback.findSong(resourceId);
    // The player must not be ticked on a song that failed to load.
    if (player.loadSong(song.bytes, int32_t(song.size)) == 0) return 0;
    player.startSubsong(0);
    playback.output->open(audio::kSampleRate, audio::kBitsPerSample, audio::kFramesPerBlock,
                          audio::kBlockCount, kGain);
    playback.output->startThread();
    playback.output->play(&player);
    return 0;
}

void selectNextTrack() {
    currentTrack = (currentTrack + 1) % trackCount;
    trackChangePending = true;
}

void selectPreviousTrack() {
    currentTrack -= 1;
    if (currentTrack < 0) currentTrack = trackCount - 1;
    trackChangePending = true;
}

bool playSelectedTrack() {
    if (!trackChangePending) return false;
    trackChangePending = false;
    changeToCurrentTrack();
    return true;
}

void nextTrack() {
    selectNextTrack();
    playSelectedTrack();
}

void previousTrack() {
    selectPreviousTrack();
    playSelectedTrack();
}

}  // namespace core
