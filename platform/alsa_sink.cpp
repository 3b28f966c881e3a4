// The ALSA default device as a sink. Writes block while the device buffer is
// full, which paces the worker at the rate the listener hears.
#include <alsa/asoundlib.h>

#include <cstdarg>

#include "platform/wave_sink.h"

namespace platform {

namespace {

// Short device buffer: a block counts as played once it is in there, and a
// pause without hardware support is heard only after the buffer runs dry.
constexpr unsigned kLatencyMicroseconds = 60000;

// ALSA reports a missing device on stderr itself; the caller reports it once.
void quietErrorHandler(const char*, int, const char*, int, const char*, ...) {}

class AlsaSink final : public WaveSink {
public:
    AlsaSink(snd_pcm_t* pcm, const WAVEFORMATEX& format)
        : pcm_(pcm), frameBytes_(format.nBlockAlign), canPause_(false) {
        snd_pcm_hw_params_t* params = nullptr;
        if (snd_pcm_hw_params_malloc(&params) == 0) {
            if (snd_pcm_hw_params_current(pcm_, params) == 0)
                canPause_ = snd_pcm_hw_params_can_pause(params) == 1;
            snd_pcm_hw_params_free(params);
        }
        chunkBytes_ = (format.nSamplesPerSec / 100 + 1) * frameBytes_;
    }
    ~AlsaSink() override {
        snd_pcm_drop(pcm_);
        snd_pcm_close(pcm_);
    }
    AlsaSink(const AlsaSink&) = delete;
    AlsaSink& operator=(const AlsaSink&) = delete;

    bool write(const uint8_t* data, size_t bytes) override {
        auto frames = snd_pcm_uframes_t(bytes / frameBytes_);
        while (frames > 0) {
            snd_pcm_sframes_t written = snd_pcm_writei(pcm_, data, frames);
            if (written < 0) {
                // An underrun (after a pause without hardware support) or a
                // suspend: start again. Anything else, such as -ENODEV from a
                // card that was unplugged, does not pass.
                if (snd_pcm_recover(pcm_, int(written), 1) < 0) return false;
                continue;
            }
            frames -= snd_pcm_uframes_t(written);
            data += size_t(written) * frameBytes_;
        }
        return true;
    }
    void discard() override {
        snd_pcm_drop(pcm_);
        snd_pcm_prepare(pcm_);
        hardwarePaused_ = false;
    }
    void pause() override {
        if (canPause_ && snd_pcm_state(pcm_) == SND_PCM_STATE_RUNNING)
            hardwarePaused_ = snd_pcm_pause(pcm_, 1) == 0;
    }
    void resume() override {
        if (hardwarePaused_) snd_pcm_pause(pcm_, 0);
        hardwarePaused_ = false;
    }
    size_t chunkBytes() const override { return chunkBytes_; }

private:
    snd_pcm_t* pcm_;
    size_t frameBytes_;
    bool canPause_;
    bool hardwarePaused_ = false;
    size_t chunkBytes_;
};

}  // namespace

std::unique_ptr<WaveSink> openAlsaSink(const WAVEFORMATEX& format) {
    snd_lib_error_set_handler(quietErrorHandler);
    snd_pcm_format_t sampleFormat = format.wBitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    snd_pcm_t* pcm = nullptr;
    if (snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, 0) < 0) return nullptr;
    if (snd_pcm_set_params(pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED, format.nChannels,
                           format.nSamplesPerSec, 1, kLatencyMicroseconds) < 0) {
        snd_pcm_close(pcm);
        return nullptr;
    }
    return std::make_unique<AlsaSink>(pcm, format);
}

}  // namespace platform
