// Songs built in code for the replayer, mixer and tool tests and the render
// benchmark: empty songs that a test fills step by step with the helpers
// below, and busy ones that keep all four voices sounding with every
// waveform and modulation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "ahx/song.h"

namespace synthetic {

// `positionCount` positions that play track 0 on every channel, and
// `trackCount` tracks of `trackLength` empty steps: silence at tempo 6 that
// returns to position 0 after the last position. No instruments yet.
inline ahx::Song emptySong(int32_t trackLength, int32_t positionCount, int32_t trackCount = 1) {
    ahx::Song song;
    song.title = "empty";
    song.version = 1;
    song.trackLength = trackLength;
    song.highestTrack = trackCount - 1;
    song.positionCount = positionCount;
    song.positions.assign(size_t(positionCount), ahx::Position{});
    song.tracks.assign(size_t(trackCount), std::vector<ahx::Step>(size_t(trackLength)));
    song.instruments.assign(1, ahx::Instrument{});
    return song;
}

inline void setStep(ahx::Song& song, int32_t track, int32_t index, int32_t note, int32_t instrument,
                    int32_t command = 0, int32_t parameter = 0) {
    song.tracks[size_t(track)][size_t(index)] = ahx::Step{note, instrument, command, parameter};
}

inline void usePosition(ahx::Song& song, int32_t position, int32_t channel, int32_t track,
                        int32_t transpose = 0) {
    song.positions[size_t(position)].track[channel] = track;
    song.positions[size_t(position)].transpose[channel] = transpose;
}

inline ahx::PlaylistEntry row(int32_t waveform, int32_t note, int32_t command0 = 0, int32_t parameter0 = 0,
                              int32_t command1 = 0, int32_t parameter1 = 0) {
    ahx::PlaylistEntry entry;
    entry.waveform = waveform;
    entry.note = note;
    entry.commands[0] = command0;
    entry.parameters[0] = parameter0;
    entry.commands[1] = command1;
    entry.parameters[1] = parameter1;
    return entry;
}

// Full volume from the first frame, held for 255 frames, playing a triangle
// at the track's own note (a relative playlist note of 1): what a replayer
// test sees is its command's doing, not the instrument's.
inline ahx::Instrument plainInstrument() {
    ahx::Instrument in;
    in.volume = 64;
    in.waveLength = 3;
    in.attackFrames = 1;
    in.attackVolume = 64;
    in.decayFrames = 1;
    in.decayVolume = 64;
    in.sustainFrames = 255;
    in.releaseFrames = 1;
    in.releaseVolume = 64;
    in.filterLowerLimit = 1;
    in.filterUpperLimit = 63;
    in.playlistSpeed = 1;
    in.playlist.push_back(row(1, 1));
    in.playlistLength = 1;
    return in;
}

// An instrument whose envelope rises, decays and releases, with square and
// filter modulation running, playing `rows`.
inline ahx::Instrument instrument(const char* name, int32_t waveLength,
                                  std::vector<ahx::PlaylistEntry> rows) {
    ahx::Instrument in;
    in.name = name;
    in.volume = 64;
    in.waveLength = waveLength;
    in.attackFrames = 2;
    in.attackVolume = 64;
    in.decayFrames = 12;
    in.decayVolume = 40;
    in.sustainFrames = 30;
    in.releaseFrames = 40;
    in.releaseVolume = 8;
    in.filterLowerLimit = 8;
    in.filterUpperLimit = 56;
    in.filterSpeed = 4;
    in.squareLowerLimit = 8;
    in.squareUpperLimit = 56;
    in.squareSpeed = 1;
    in.playlistSpeed = 1;
    in.playlistLength = int32_t(rows.size());
    in.playlist = std::move(rows);
    return in;
}

// Answers the new instrument's number.
inline int32_t addInstrument(ahx::Song& song, ahx::Instrument instrument = plainInstrument()) {
    song.instruments.push_back(std::move(instrument));
    song.instrumentCount = int32_t(song.instruments.size()) - 1;
    return song.instrumentCount;
}

// Four channels playing a note on most steps with instruments that cover
// triangle, sawtooth, square and noise, square and filter modulation,
// vibrato, playlist slides and arpeggios, hard cuts, track slides,
// portamento and volume commands. `seed` varies the notes and commands.
inline ahx::Song busySong(uint32_t seed, int32_t speedMultiplier = 1, int32_t positionCount = 8) {
    uint32_t state = seed * 2654435761u + 12345u;
    auto next = [&state](uint32_t n) {
        state = state * 1103515245u + 12345u;
        return int32_t((state >> 16) % n);
    };

    ahx::Song song;
    song.title = "busy " + std::to_string(seed);
    song.version = 1;
    song.speedMultiplier = speedMultiplier;
    song.trackLength = 32;
    song.restartPosition = 0;

    song.instruments.emplace_back();
    // Triangle lead with vibrato and an upward playlist slide.
    ahx::Instrument lead =
        instrument("lead", 3, {row(1, 1), row(0, 0, 1, 2), row(0, 0, 2, 2), row(0, 0, 5, 1)});
    lead.vibratoDelay = 4;
    lead.vibratoDepth = 3;
    lead.vibratoSpeed = 6;
    song.instruments.push_back(lead);
    // Pulse with square and filter modulation switched on together.
    song.instruments.push_back(instrument("pulse", 5, {row(3, 1, 4, 0x11), row(0, 0, 7, 3)}));
    // Sawtooth arpeggio looping over three notes.
    song.instruments.push_back(instrument("arp", 4, {row(2, 1), row(0, 5), row(0, 8), row(0, 13, 5, 1)}));
    // Noise with a hard cut that fades out.
    ahx::Instrument hat = instrument("hat", 2, {row(4, 1, 6, 48), row(0, 0, 0, 20)});
    hat.hardCutReleaseFrames = 2;
    hat.hardCutRelease = 1;
    song.instruments.push_back(hat);
    // Square bass that sweeps the filter through the low-pass sets.
    ahx::Instrument bass = instrument("bass", 1, {row(3, 1, 4, 0x10, 0, 12), row(0, 0, 3, 40)});
    bass.filterLowerLimit = 2;
    bass.filterUpperLimit = 40;
    bass.filterSpeed = 1;
    song.instruments.push_back(bass);
    song.instrumentCount = int32_t(song.instruments.size()) - 1;

    const int32_t trackCount = 12;
    song.tracks.emplace_back(size_t(song.trackLength));  // track 0 stays empty
    for (int32_t t = 1; t < trackCount; ++t) {
        std::vector<ahx::Step> track(size_t(song.trackLength));
        for (ahx::Step& step : track) {
            if (next(8) == 0) continue;
            step.note = 13 + next(36);
            step.instrument = 1 + next(5);
            switch (next(10)) {
                case 0:
                    step.command = 1, step.parameter = 1 + next(8);
                    break;
                case 1:
                    step.command = 2, step.parameter = 1 + next(8);
                    break;
                case 2:
                    step.command = 3, step.parameter = 4 + next(16);
                    break;
                case 3:
                    step.command = 0xC, step.parameter = 16 + next(49);
                    break;
                case 4:
                    step.command = 0xA, step.parameter = 0x21;
                    break;
                case 5:
                    step.command = 0xE, step.parameter = 0x40 + 1 + next(8);
                    break;
                case 6:
                    step.command = 0x9, step.parameter = next(64);
                    break;
                default:
                    break;
            }
        }
        song.tracks.push_back(std::move(track));
    }
    song.highestTrack = trackCount - 1;

    for (int32_t p = 0; p < positionCount; ++p) {
        ahx::Position position;
        for (int k = 0; k < ahx::kChannels; ++k) {
            position.track[k] = 1 + next(trackCount - 1);
            position.transpose[k] = next(7) - 3;
        }
        song.positions.push_back(position);
    }
    song.positionCount = positionCount;
    return song;
}

}  // namespace synthetic
