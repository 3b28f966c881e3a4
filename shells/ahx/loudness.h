// How loud a song is, as EBU R128 measures it (through libebur128): the
// figures a musician levels a set of songs by, for the mono sound the
// program's device plays and for each voice alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "ahx/song.h"
#include "ahx/wave_tables.h"
#include "audio/channel_mix.h"

namespace tools {

struct LoudnessFigures {
    double integrated = 0;  // LUFS; -infinity when nothing rises above the gate
    double range = 0;       // LU
    double truePeak = 0;    // dBTP; -infinity for silence
    double dcOffset = 0;    // dBFS of the mean sample; -infinity when it is 0
    int64_t clipped = 0;    // samples at either end of the 16-bit range
    int64_t frames = 0;     // samples measured
    bool silent = true;     // every sample 0
};

// Mono 16-bit samples in, figures out. Samples can be added in any pieces.
class LoudnessMeter {
public:
    explicit LoudnessMeter(int32_t sampleRate);
    ~LoudnessMeter();
    LoudnessMeter(const LoudnessMeter&) = delete;
    LoudnessMeter& operator=(const LoudnessMeter&) = delete;

    void add(const int16_t* samples, size_t count);
    LoudnessFigures figures() const;

private:
    struct State;  // the library's, kept out of this header
    std::unique_ptr<State> state_;
    int64_t sum_ = 0;
    int64_t frames_ = 0;
    int64_t clipped_ = 0;
    bool silent_ = true;
};

struct SongLoudness {
    LoudnessFigures mix;                     // the mono render, all voices heard
    LoudnessFigures voices[audio::kVoices];  // each voice's stem of it
};

// The first `frames` samples of `song` played from `subsong`, rendered as
// `ahx render` renders them.
SongLoudness measureSongLoudness(const ahx::Song& song, const ahx::WaveTables& tables, int32_t subsong,
                                 int64_t frames);

}  // namespace tools
