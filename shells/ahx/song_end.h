// Where a song ends when it is played from a start: the first time it comes
// back to a position it has already played (the end of its list, or a jump
// back), or when its tempo becomes 0 (F00 stops it for good). Rendering,
// `info` and playing all cut songs at the same tick.
#pragma once

#include <cstdint>
#include <vector>

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/stream_format.h"

namespace tools {

// The output format every tool renders: what the program's device plays.
using audio::kBlockSamples;
using audio::kFramesPerBlock;
using audio::kSampleRate;
// The longest default render, per pass, and the longest of any.
inline constexpr int64_t kDefaultLimitSeconds = 15 * 60;
inline constexpr double kMaxSeconds = 3 * 3600;

// Where a player starts: a subsong from its beginning, or from a position
// and step with a tempo (a song edited while it plays goes on from there).
struct StartPoint {
    int32_t subsong = 0;
    int32_t position = -1;  // -1: the subsong's own start
    int32_t step = 0;
    int32_t tempo = 0;  // 0: the subsong's own
};

// Starts `player`, whose song is loaded, at `start`; a position or step
// the song does not have starts the subsong from its beginning.
void startAt(ahx::Player& player, const StartPoint& start);

enum class EndReason {
    loopedBack,  // about to play a position again
    stopped,     // tempo 0
    limit,       // neither within the allowed length
};

// Watches a player tick by tick.
class EndDetector {
public:
    // `player` has just been started; its position counts as played.
    // `loops` is how many returns end the song (1 = once through).
    EndDetector(const ahx::Player& player, int32_t loops);
    // Call after every tick; answers true from the tick that ends the song on.
    bool afterTick(const ahx::Player& player);
    EndReason reason() const { return reason_; }
    // The position the song came back to at its last return.
    int32_t returnPosition() const { return returnPosition_; }

private:
    void markPlayed(int32_t position);

    std::vector<bool> played_;
    int32_t loopsLeft_;
    int32_t returnPosition_ = -1;
    EndReason reason_ = EndReason::limit;
    bool ended_ = false;
};

struct SongSpan {
    int64_t ticks = 0;  // ticks played, the ending one included
    EndReason reason = EndReason::limit;
    int32_t returnPosition = -1;
};

// Plays `song` from subsong `subsong` (which must exist) on a fresh player
// for at most `maxTicks` ticks and reports where it ends.
SongSpan measureSong(const ahx::Song& song, const ahx::WaveTables& tables, int32_t subsong, int32_t loops,
                     int64_t maxTicks);
SongSpan measureSong(const ahx::Song& song, const ahx::WaveTables& tables, const StartPoint& start,
                     int32_t loops, int64_t maxTicks);

// The samples a song plays before it ends: at its `passes`-th return, or at
// its stop (tempo 0), and at most 15 minutes a pass and 3 hours in all.
// `render` writes this much and `play` moves on after as much, so both
// give every song the same length.
struct SongLength {
    int64_t frames = 0;
    bool stopsByItself = false;
};
SongLength measurePasses(const ahx::Song& song, const ahx::WaveTables& tables, const StartPoint& start,
                         int32_t passes);

// The frames of a fade over the last `seconds` of `frames`: never more
// than there are.
int64_t fadeFrames(double seconds, int64_t frames);

// Whether a song, once started, ever stops or plays on for ever. Which step
// plays next depends only on the step being read (its position and index),
// the position a 0 or B command has left pending, the tempo, and the voices'
// note delays; so the first time all of these come round again, the song
// repeats for ever from there.
enum class Fate {
    stops,         // tempo 0
    loopsForever,  // it repeats itself
    undecided,     // neither within the ticks allowed
};

struct SongFate {
    Fate fate = Fate::undecided;
    // stops: ticks played, the stopping one included. loopsForever: ticks
    // played before the step that begins the first repeat.
    int64_t ticks = 0;
    // loopsForever: where and when the repeated stretch first began.
    int32_t loopPosition = -1;
    int32_t loopStep = -1;
    int64_t loopTick = 0;
};

SongFate decideFate(const ahx::Song& song, const ahx::WaveTables& tables, int32_t subsong, int64_t maxTicks);

// Ticks per second of output at `speedMultiplier`.
int64_t ticksPerSecond(int32_t speedMultiplier);

// Output samples up to the end of tick `ticks`, as the mixer spreads the
// ticks of each block over its samples.
int64_t samplesForTicks(int64_t ticks, int32_t speedMultiplier);

}  // namespace tools
