// Where the waveOut layer's samples go: the ALSA default device, or a file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "platform/winmm.h"

namespace platform {

// One worker thread calls write; the other operations are called only while
// no write is in progress.
class WaveSink {
public:
    virtual ~WaveSink() = default;
    // Takes `bytes` bytes of PCM and returns once they are taken, at the sink's
    // pace. Answers false when the sink failed in a way it cannot recover from
    // (the device was unplugged, the file cannot be written): nothing more can
    // be played through it.
    virtual bool write(const uint8_t* data, size_t bytes) = 0;
    // Forgets what was taken but not heard yet.
    virtual void discard() = 0;
    virtual void pause() = 0;
    virtual void resume() = 0;
    // How much the worker hands over at a time: a real-time sink takes short
    // pieces so that a reset or pause is heard at once.
    virtual size_t chunkBytes() const = 0;
};

// Null when the default device cannot be opened for the format.
std::unique_ptr<WaveSink> openAlsaSink(const WAVEFORMATEX& format);
// Appends raw PCM to `path`; null when the file cannot be opened.
std::unique_ptr<WaveSink> openFileSink(const char* path, bool realtime, const WAVEFORMATEX& format);

}  // namespace platform
