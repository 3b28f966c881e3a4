// A Player bound to one shared waveform bank, with helpers that build small
// songs directly in player.song: tracks of empty steps, positions that name
// them, and instruments with a one-row playlist.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "ahx/player.h"

namespace ahx::test {

// Generated once for the whole test program.
inline const WaveTables& sharedBank() {
    static const WaveTables* bank = new WaveTables;
    return *bank;
}

// The bank sample `offset` bytes from its start.
inline int8_t bankSample(size_t offset) {
    return sharedBank().samples[offset];
}

// Full volume from the first frame, held for 255 frames, playing a triangle
// at the track's own note (a relative playlist note of 1).
inline Instrument plainInstrument() {
    Instrument instrument;
    instrument.volume = 64;
    instrument.waveLength = 3;
    instrument.attackFrames = 1;
    instrument.attackVolume = 64;
    instrument.decayFrames = 1;
    instrument.decayVolume = 64;
    instrument.sustainFrames = 255;
    instrument.releaseFrames = 1;
    instrument.releaseVolume = 64;
    instrument.filterLowerLimit = 1;
    instrument.filterUpperLimit = 63;
    instrument.playlistSpeed = 1;
    PlaylistEntry row;
    row.note = 1;
    row.waveform = 1;
    instrument.playlist.push_back(row);
    instrument.playlistLength = 1;
    return instrument;
}

inline PlaylistEntry playlistRow(int32_t waveform, int32_t note, int32_t command0 = 0, int32_t parameter0 = 0,
                                 int32_t command1 = 0, int32_t parameter1 = 0) {
    PlaylistEntry row;
    row.waveform = waveform;
    row.note = note;
    row.commands[0] = command0;
    row.parameters[0] = parameter0;
    row.commands[1] = command1;
    row.parameters[1] = parameter1;
    return row;
}

class PlayerFixture : public ::testing::Test {
protected:
    PlayerFixture() { player.bindWaveTables(&sharedBank()); }

    // Tracks 0..highestTrack of empty steps; every position plays track 0.
    void makeSong(int32_t trackLength, int32_t highestTrack, int32_t positionCount) {
        Song& song = player.song;
        clearSong(song);
        song.version = 1;
        song.trackLength = trackLength;
        song.highestTrack = highestTrack;
        song.positionCount = positionCount;
        song.positions.assign(size_t(positionCount), Position{});
        song.tracks.assign(size_t(highestTrack) + 1, std::vector<Step>(size_t(trackLength)));
        song.instruments.assign(1, Instrument{});
        song.instrumentCount = 0;
    }

    void setStep(int32_t track, int32_t index, int32_t note, int32_t instrument, int32_t command = 0,
                 int32_t parameter = 0) {
        player.song.tracks[size_t(track)][size_t(index)] = Step{note, instrument, command, parameter};
    }

    void usePosition(int32_t position, int32_t channel, int32_t track, int32_t transpose = 0) {
        player.song.positions[size_t(position)].track[channel] = track;
        player.song.positions[size_t(position)].transpose[channel] = transpose;
    }

    // Answers the new instrument's number.
    int32_t addInstrument(const Instrument& instrument = plainInstrument()) {
        player.song.instruments.push_back(instrument);
        player.song.instrumentCount = int32_t(player.song.instruments.size()) - 1;
        return player.song.instrumentCount;
    }

    void start() { ASSERT_EQ(player.startSubsong(0), 1); }

    void run(int ticks) {
        for (int i = 0; i < ticks; ++i) player.tick();
    }

    Voice& voice(int k) { return player.voices[k]; }

    Player player;
};

}  // namespace ahx::test
