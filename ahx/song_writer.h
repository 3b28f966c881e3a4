// Encodes a Song as AHX bytes: the inverse of loadSong for every value the
// format can hold. Used by the song compiler and by tests that build songs.
#pragma once

#include <cstdint>
#include <vector>

#include "ahx/song.h"

namespace ahx {

struct SongWriteOptions {
    // Leave track 0 out of the file (header bit 7); only allowed when every
    // step of track 0 is empty.
    bool omitTrack0 = false;
};

// Fields are written as the format stores them (masked to their bit widths);
// `positionCount`, `highestTrack`, `instrumentCount`, `subsongCount` and each
// `playlistLength` are taken from the sizes of their containers.
// Returns an empty vector when the song cannot be stored (too many positions,
// tracks, instruments, subsongs or playlist rows, track 0 not empty while
// omitTrack0 is asked for, or a string area beyond 16-bit offsets).
std::vector<uint8_t> writeSong(const Song& song, const SongWriteOptions& options = {});

}  // namespace ahx
