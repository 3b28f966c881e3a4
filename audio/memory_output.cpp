#include "audio/memory_output.h"

#include <algorithm>
#include <limits>

namespace audio {

int MemoryOutput::setup(int32_t sampleRate, int32_t bitsPerSample, int32_t frames, float gain) {
    return mixer_.setup(sampleRate, bitsPerSample, frames, gain);
}

int MemoryOutput::release() {
    playing_ = false;
    return mixer_.release();
}

int MemoryOutput::play(ahx::Player* player) {
    if (player == nullptr || mixer_.mixBuffer == nullptr) return 0;
    mixer_.start(player);
    playing_ = true;
    return 1;
}

int MemoryOutput::stop() {
    playing_ = false;
    return 1;
}

int64_t MemoryOutput::renderPcm16(int16_t* out, int64_t count) {
    if (!playing_ || mixer_.mixBuffer == nullptr || out == nullptr || count <= 0) return 0;
    for (int64_t done = 0; done < count;) {
        const auto n = int32_t(std::min<int64_t>(count - done, std::numeric_limits<int32_t>::max()));
        done += mixer_.pull(out + done, n);
    }
    return count;
}

}  // namespace audio
