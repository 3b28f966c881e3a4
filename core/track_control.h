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

// The pieces a track start works on. A shell binds its player, bank and
// output here before the first track starts: the Windows program's waveOut
// device, the web page's queued block output; tests record the calls.
struct Playback {
    ahx::Player* player = nullptr;
    const ahx::WaveTables* waveTables = nullptr;
    audio::MixerOutput* output = nullptr;
    SongLookup findSong = findSongResource;
    // The resource id of each of the trackCount tracks; -1 marks a track that
    // is listed but cannot be played.
    const int32_t* trackIds = trackResourceIds;
};

extern Playback playback;

// Loads the song of that resource into the player, starts its subsong 0 and
// streams it in the program's format (audio/stream_format.h). A song that
// is missing or that the loader rejects starts neither the player nor the
// output: the program goes on in silence, and the next track change works
// as usual. Always answers 0.
int startTrack(int32_t resourceId);

// Select the following (preceding) track, wrapping around the list, and
// play it. An entry with resource id -1 is selected but not played: the
// song that was playing goes on.
void nextTrack();
void previousTrack();

// Input selects at once but plays later: a flood of presses would otherwise
// restart the device once per press and hold the frame loop for seconds.
// selectNextTrack and selectPreviousTrack move currentTrack only;
// playSelectedTrack, which a shell calls once after each message drain
// unless a quit was asked for in it, then plays the selected track from its
// start if any step was taken since the last call. After N steps in one
// drain the Nth track from where the list stood plays, and the tracks passed
// over are never heard.
void selectNextTrack();
void selectPreviousTrack();
// Answers whether a track change was played.
bool playSelectedTrack();

}  // namespace core
