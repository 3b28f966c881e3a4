#pragma once

// A track output that records every call, for checking the order in which
// track control and the input drive the sound side.

#include <string>
#include <vector>

#include "app/track_control.h"

namespace app::test {

class RecordingOutput final : public TrackOutput {
public:
    int open(int32_t sampleRate, int32_t bitsPerSample, int32_t framesPerBlock, int32_t blockCount,
             float gain) override {
        calls.push_back("open " + std::to_string(sampleRate) + " " + std::to_string(bitsPerSample) + " " +
                        std::to_string(framesPerBlock) + " " + std::to_string(blockCount) + " " +
                        std::to_string(gain));
        // As the devices: an opening plays unpaused.
        paused = false;
        return 1;
    }
    int startThread() override { return record("startThread"); }
    int play(ahx::Player* player) override {
        played = player;
        // What the device would start streaming: the song as loaded and started.
        playedPositionCount = player->song.positionCount;
        return record("play");
    }
    int stop() override { return record("stop"); }
    int stopThread() override { return record("stopThread"); }
    int release() override { return record("release"); }
    int pause() override {
        paused = true;
        return record("pause");
    }
    int resume() override {
        paused = false;
        return record("resume");
    }
    bool isPaused() const override { return paused; }

    std::vector<std::string> takeCalls() {
        std::vector<std::string> taken;
        taken.swap(calls);
        return taken;
    }

    std::vector<std::string> calls;
    ahx::Player* played = nullptr;
    int32_t playedPositionCount = 0;
    bool paused = false;

private:
    int record(const char* call) {
        calls.emplace_back(call);
        return 1;
    }
};

}  // namespace app::test
