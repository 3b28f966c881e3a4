#include "shells/ahx/song_end.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <memory>

namespace tools {

EndDetector::EndDetector(const ahx::Player& player, int32_t loops)
    : played_(size_t(std::max(player.song.positionCount, 1)), false), loopsLeft_(std::max(loops, 1)) {
    markPlayed(player.position);
}

void EndDetector::markPlayed(int32_t position) {
    if (position >= 0 && size_t(position) < played_.size()) played_[size_t(position)] = true;
}

bool EndDetector::afterTick(const ahx::Player& player) {
    if (ended_) return true;
    if (player.tempo == 0) {
        reason_ = EndReason::stopped;
        ended_ = true;
        return true;
    }
    // newPosition is set exactly when this tick ended a step and moved on.
    if (player.newPosition == 0) return false;
    const int32_t p = player.position;
    // A position outside the list counts as a return: there is nothing new there.
    const bool again = p < 0 || size_t(p) >= played_.size() || played_[size_t(p)];
    if (!again) {
        markPlayed(p);
        return false;
    }
    returnPosition_ = p;
    if (--loopsLeft_ == 0) {
        reason_ = EndReason::loopedBack;
        ended_ = true;
        return true;
    }
    std::fill(played_.begin(), played_.end(), false);
    markPlayed(p);
    return false;
}

void startAt(ahx::Player& player, const StartPoint& start) {
    player.startSubsong(start.subsong);
    if (start.position < 0 || start.position >= player.song.positionCount || start.step < 0 ||
        start.step >= player.song.trackLength) {
        return;
    }
    player.position = start.position;
    player.stepIndex = start.step;
    if (start.tempo > 0) player.tempo = start.tempo;
}

SongSpan measureSong(const ahx::Song& song, const ahx::WaveTables& tables, int32_t subsong, int32_t loops,
                     int64_t maxTicks) {
    return measureSong(song, tables, StartPoint{subsong}, loops, maxTicks);
}

SongLength measurePasses(const ahx::Song& song, const ahx::WaveTables& tables, const StartPoint& start,
                         int32_t passes) {
    passes = std::max(passes, 1);
    const int64_t limitSeconds = std::min<int64_t>(passes * kDefaultLimitSeconds, int64_t(kMaxSeconds));
    const SongSpan span =
        measureSong(song, tables, start, passes, limitSeconds * ticksPerSecond(song.speedMultiplier));
    return {samplesForTicks(span.ticks, song.speedMultiplier), span.reason == EndReason::stopped};
}

int64_t fadeFrames(double seconds, int64_t frames) {
    return std::clamp<int64_t>(std::llround(seconds * kSampleRate), 0, std::max<int64_t>(frames, 0));
}

SongSpan measureSong(const ahx::Song& song, const ahx::WaveTables& tables, const StartPoint& start,
                     int32_t loops, int64_t maxTicks) {
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&tables);
    player->song = song;
    startAt(*player, start);
    EndDetector detector(*player, loops);
    SongSpan span;
    while (span.ticks < maxTicks) {
        player->tick();
        ++span.ticks;
        if (detector.afterTick(*player)) {
            span.reason = detector.reason();
            span.returnPosition = detector.returnPosition();
            return span;
        }
    }
    span.reason = EndReason::limit;
    span.returnPosition = detector.returnPosition();
    return span;
}

SongFate decideFate(const ahx::Song& song, const ahx::WaveTables& tables, int32_t subsong, int64_t maxTicks) {
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&tables);
    player->song = song;
    player->startSubsong(subsong);
    using State = std::array<int32_t, 12>;
    std::map<State, int64_t> firstRead;
    SongFate result;
    for (int64_t tick = 0; tick < maxTicks; ++tick) {
        // This tick reads a step.
        if (player->stepWait <= 0) {
            State state{player->position, player->stepIndex, player->jumpPosition, player->tempo};
            for (int k = 0; k < ahx::kChannels; ++k) {
                state[size_t(4 + 2 * k)] = player->voices[k].noteDelayOn;
                state[size_t(5 + 2 * k)] = player->voices[k].noteDelayWait;
            }
            const auto [at, isNew] = firstRead.emplace(state, tick);
            if (!isNew) {
                result.fate = Fate::loopsForever;
                result.ticks = tick;
                result.loopPosition = player->position;
                result.loopStep = player->stepIndex;
                result.loopTick = at->second;
                return result;
            }
        }
        player->tick();
        if (player->tempo == 0) {
            result.fate = Fate::stops;
            result.ticks = tick + 1;
            return result;
        }
    }
    result.ticks = maxTicks;
    return result;
}

int64_t ticksPerSecond(int32_t speedMultiplier) {
    return 50 * int64_t(std::clamp(speedMultiplier, 1, 4));
}

int64_t samplesForTicks(int64_t ticks, int32_t speedMultiplier) {
    const int64_t perBlock = int64_t(kFramesPerBlock) * std::clamp(speedMultiplier, 1, 4);
    return ticks / perBlock * kBlockSamples + ticks % perBlock * kBlockSamples / perBlock;
}

}  // namespace tools
