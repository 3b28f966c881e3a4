// The parsed AHX song: header counts, position list, tracks, instruments
// with their playlists, and the title and instrument names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace ahx {

inline constexpr int kChannels = 4;

struct Position {
    int32_t track[kChannels] = {};
    int32_t transpose[kChannels] = {};
};

struct Step {
    int32_t note = 0;        // 0..63, 0 = no note
    int32_t instrument = 0;  // 0..63, 0 = none
    int32_t command = 0;     // a TrackCommand, 0..15
    int32_t parameter = 0;   // 0..255
};

struct PlaylistEntry {
    int32_t note = 0;          // 0..63
    int32_t fixedNote = 0;     // 0 or 1
    int32_t waveform = 0;      // 0 keep, else a Waveform plus one: 1 triangle, 2 sawtooth, 3 square, 4 noise
    int32_t commands[2] = {};  // PlaylistCommands, 0..7
    int32_t parameters[2] = {};
};

struct Instrument {
    std::string name;
    int32_t volume = 0;
    int32_t waveLength = 0;
    int32_t attackFrames = 0;
    int32_t attackVolume = 0;
    int32_t decayFrames = 0;
    int32_t decayVolume = 0;
    int32_t sustainFrames = 0;
    int32_t releaseFrames = 0;
    int32_t releaseVolume = 0;
    int32_t filterLowerLimit = 0;  // 0..127
    int32_t filterUpperLimit = 0;  // 0..63
    int32_t filterSpeed = 0;       // 0..63
    int32_t squareLowerLimit = 0;
    int32_t squareUpperLimit = 0;
    int32_t squareSpeed = 0;
    int32_t vibratoDelay = 0;
    int32_t vibratoDepth = 0;  // 0..15
    int32_t vibratoSpeed = 0;
    int32_t hardCutRelease = 0;        // 0 or 1
    int32_t hardCutReleaseFrames = 0;  // 0..7
    int32_t playlistSpeed = 0;
    int32_t playlistLength = 0;
    std::vector<PlaylistEntry> playlist;
};

struct Song {
    std::string title;
    int32_t restartPosition = 0;
    int32_t positionCount = 0;
    int32_t trackLength = 0;
    int32_t highestTrack = 0;
    int32_t instrumentCount = 0;
    int32_t subsongCount = 0;
    int32_t version = 0;
    int32_t speedMultiplier = 1;
    std::vector<Position> positions;        // positionCount entries
    std::vector<std::vector<Step>> tracks;  // highestTrack + 1 tracks of trackLength steps
    std::vector<Instrument> instruments;    // instrumentCount + 1; entry 0 means "no instrument"
    std::vector<int32_t> subsongs;          // subsongCount start positions
};

// Parses an AHX image of `size` bytes into `song`, through the format's one
// reader (song_image.h), then holds volumes to 64 and wave lengths to 5.
// Answers 1 when the whole song was read, 0 when it was rejected (not a
// whole song, or one without positions or steps); a rejected load leaves
// `song` empty. Nothing outside data[0..size) is read and no pointer into it
// is kept.
int loadSong(Song& song, const uint8_t* data, int32_t size);

// Empties every count and buffer; `version` and `speedMultiplier` are kept.
void clearSong(Song& song);

// Frees everything the song owns.
void releaseSong(Song& song);

}  // namespace ahx
