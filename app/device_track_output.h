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
        // A device opened afresh plays unpaused, whatever its flag kept from
        // the song before: the flag must say what is heard, or a track
        // changed while paused would take two play/pause presses to pause.
        device_.paused = 0;
        return device_.open(sampleRate, bitsPerSample, framesPerBlock, blockCount, gain);
    }
    int startThread() override { return device_.startThread(); }
    int play(ahx::Player* player) override { return device_.play(player); }
    int stop() override { return device_.stop(); }
    int stopThread() override { return device_.stopThread(); }
    int release() override { return device_.release(); }
    int pause() override { return device_.pause(); }
    int resume() override { return device_.resume(); }
    bool isPaused() const override { return device_.paused != 0; }

private:
    Device& device_;
};

}  // namespace app
