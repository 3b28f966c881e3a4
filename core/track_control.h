#pragma once

// Starting a track and stepping through the track list. A track change is
// one synchronous sequence on the user-interface thread: the output stops,
// its playback thread ends, the device is released, and only then is the
// player touched and everything rebuilt for the new song.

#include <cstdint>

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/mixer_output.h"
#include "core/track_list.h"
#include "resources/program_resources.h"

namespace core {

// Where a track's song bytes come from: the program's "AHX" resources.
using SongLookup = resources::ResourceData (*)(int32_t resourceId);

// The "AHX" resource of that id in the program's own resources.
resources::ResourceData findSongResource(int32_t resourceId);

// The pieces a track start works on, bound by a shell before the first
// track starts: the Windows program's waveOut device, the web page's queued
// block output; tests record the calls. The selected track itself is
// currentTrack (core/shared_state.h), which the renderer reads.
class TrackControl {
public:
    // `trackIds` holds the resource id of each of the trackCount tracks; -1
    // marks a track that is listed but cannot be played. All of them must
    // outlive the control.
    TrackControl(ahx::Player& player, const ahx::WaveTables& waveTables, audio::MixerOutput& output,
                 SongLookup findSong = findSongResource, const int32_t* trackIds = trackResourceIds);
    TrackControl(const TrackControl&) = delete;
    TrackControl& operator=(const TrackControl&) = delete;

    // Loads the song of that resource into the player, starts its subsong 0
    // and streams it in the program's format (audio/stream_format.h). A song
    // that is missing or that the loader rejects starts neither the player
    // nor the output: the program goes on in silence, and the next track
    // change works as usual. Always answers 0.
    int startTrack(int32_t resourceId);

    // Select the following (preceding) track, wrapping around the list, and
    // play it. An entry with resource id -1 is selected but not played: the
    // song that was playing goes on.
    void nextTrack();
    void previousTrack();

    // Input selects at once but plays later: a flood of presses would
    // otherwise restart the device once per press and hold the frame loop
    // for seconds. selectNextTrack and selectPreviousTrack move currentTrack
    // only; playSelectedTrack, called once after each message drain unless a
    // quit was asked for in it (core/musicdisk.h), then plays the selected
    // track from its start if any step was taken since the last call. After
    // N steps in one drain the Nth track from where the list stood plays,
    // and the tracks passed over are never heard.
    void selectNextTrack();
    void selectPreviousTrack();
    // Answers whether a track change was played.
    bool playSelectedTrack();

    int32_t resourceIdOf(int32_t track) const { return trackIds_[track]; }
    audio::MixerOutput& output() const { return output_; }

private:
    void changeToCurrentTrack();

    ahx::Player& player_;
    const ahx::WaveTables& waveTables_;
    audio::MixerOutput& output_;
    SongLookup findSong_;
    const int32_t* trackIds_;
    // A step was taken that playSelectedTrack has not played yet.
    bool changePending_ = false;
};

}  // namespace core
