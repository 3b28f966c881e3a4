// A sink that appends raw PCM to a file, either at the pace a listener would
// hear it or as fast as it arrives (for tests).
#include <chrono>
#include <cstdio>
#include <thread>

#include "platform/wave_sink.h"

namespace platform {

namespace {

using Clock = std::chrono::steady_clock;

class FileSink final : public WaveSink {
public:
    FileSink(std::FILE* file, bool realtime, const WAVEFORMATEX& format)
        : file_(file), realtime_(realtime), bytesPerSecond_(format.nAvgBytesPerSec) {
        size_t align = format.nBlockAlign == 0 ? 1 : format.nBlockAlign;
        // 10 ms pieces in real time; whole blocks otherwise.
        chunkBytes_ = realtime ? (bytesPerSecond_ / 100 / align + 1) * align : size_t(-1);
    }
    ~FileSink() override { std::fclose(file_); }
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    bool write(const uint8_t* data, size_t bytes) override {
        // Readers of the file see every block as soon as it counts as played.
        // A file that takes no more (a full disk, /dev/full) is a device gone.
        if (std::fwrite(data, 1, bytes, file_) != bytes || std::fflush(file_) != 0) return false;
        if (!realtime_ || bytesPerSecond_ == 0) return true;
        Clock::time_point now = Clock::now();
        // After a pause, a reset or a late arrival the clock starts again from now.
        if (due_ < now) due_ = now;
        due_ += std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(double(bytes) / double(bytesPerSecond_)));
        std::this_thread::sleep_until(due_);
        return true;
    }
    void discard() override { due_ = Clock::time_point{}; }
    void pause() override {}
    void resume() override { due_ = Clock::time_point{}; }
    size_t chunkBytes() const override { return chunkBytes_; }

private:
    std::FILE* file_;
    bool realtime_;
    size_t bytesPerSecond_;
    size_t chunkBytes_;
    Clock::time_point due_{};
};

}  // namespace

std::unique_ptr<WaveSink> openFileSink(const char* path, bool realtime, const WAVEFORMATEX& format) {
    std::FILE* file = std::fopen(path, "ab");
    if (file == nullptr) return nullptr;
    return std::make_unique<FileSink>(file, realtime, format);
}

}  // namespace platform
