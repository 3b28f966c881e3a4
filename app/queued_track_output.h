#pragma once

// Track control's output seam, played by an output that the shell's own loop
// pumps: the web page's.

#include "app/track_control.h"
#include "audio/queued_block_output.h"

namespace app {

class QueuedTrackOutput final : public TrackOutput {
public:
    explicit QueuedTrackOutput(audio::QueuedBlockOutput& output) : output_(output) {}

    int open(int32_t sampleRate, int32_t bitsPerSample, int32_t framesPerBlock, int32_t blockCount,
             float gain) override {
        return output_.open(sampleRate, bitsPerSample, framesPerBlock, blockCount, gain);
    }
    int startThread() override { return output_.startThread(); }
    int play(ahx::Player* player) override { return output_.play(player); }
    int stop() override { return output_.stop(); }
    int stopThread() override { return output_.stopThread(); }
    int release() override { return output_.release(); }
    int pause() override { return output_.pause(); }
    int resume() override { return output_.resume(); }

private:
    audio::QueuedBlockOutput& output_;
};

}  // namespace app
