#pragma once

// Track control's output seam, played by a shell's sound output: the
// waveOut streaming device on Windows, the queued block output of the web
// page. Both answer the same calls, so one adapter serves them.

#include "app/track_control.h"

namespace app {

template <typename Device>
class DeviceTrackOutput final : public TrackOutput {
public:
    explicit DeviceTrackOutput(Device& device) : device_(device) {}

    int open(int32_t sampleRate, int32_t bitsPerSample, int32_t framesPerBlock, int32_t blockCount,
             float gain) override {
        return device_.open(sampleRate, bitsPerSample, framesPerBlock, blockCount, gain);
    }
    int startThread() override { return device_.startThread(); }
    int play(ahx::Player* player) override { return device_.play(player); }
    int stop() override { return device_.stop(); }
    int stopThread() override { return device_.stopThread(); }
    int release() override { return device_.release(); }
    int pause() override { return device_.pause(); }
    int resume() override { return device_.resume(); }

private:
    Device& device_;
};

}  // namespace app
