#pragma once

// An output that records every call, for checking the order in which
// track control and the input drive the sound side.

#include <string>
#include <vector>

#include "audio/mixer_output.h"
#include "core/track_control.h"

namespace core::test {

class RecordingOutput final : public audio::MixerOutput {
public:
    int open(int32_t rate, int32_t bits, int32_t framesPerBlock, int32_t blockCount, float level) override {
        calls.push_back("open " + std::to_string(rate) + " " + std::to_string(bits) + " " +
                        std::to_string(framesPerBlock) + " " + std::to_string(blockCount) + " " +
                        std::to_string(level));
        // As the devices: an opening plays unpaused.
        paused = 0;
        return 1;
    }
    int startThread() override { return record("startThread"); }
    int play(ahx::Player* started) override {
        played = started;
        // What the device would start streaming: the song as loaded and started.
        playedPositionCount = started->song.positionCount;
        return record("play");
    }
    int stop() override { return record("stop"); }
    int stopThread() override { return record("stopThread"); }
    int release() override { return record("release"); }
    int pause() override {
        paused = 1;
        return record("pause");
    }
    int resume() override {
        paused = 0;
        return record("resume");
    }
    int setVolume(int32_t) override { return record("setVolume"); }
    int spareOperation(int32_t, int32_t) override { return 0; }

    std::vector<std::string> takeCalls() {
        std::vector<std::string> taken;
        taken.swap(calls);
        return taken;
    }

    std::vector<std::string> calls;
    ahx::Player* played = nullptr;
    int32_t playedPositionCount = 0;

private:
    int record(const char* call) {
        calls.emplace_back(call);
        return 1;
    }
};

}  // namespace core::test
