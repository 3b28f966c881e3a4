// The streaming output: a ring of PCM blocks on the waveOut device, kept full
// by a playback thread that polls each block's done flag once per block
// length and renders the freed blocks from the player. The thread waits
// between polls on an event, so that stopping it takes no longer than the
// pass in progress.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/mixer_output.h"
#include "platform/winmm.h"

namespace audio {

inline constexpr int32_t MAX_BLOCKS = 32;
// What the playback thread is called in debuggers and process lists.
inline constexpr char kPlaybackThreadName[] = "veltrane audio";

// Fills the device's blocks in place of its own mixer: the `ahx` tool's
// stereo and per-channel mixes. Called on the playback thread only, between
// play and the stop that ends it; the musicdisk sets none.
class BlockSource {
public:
    virtual ~BlockSource() = default;
    // Writes `frames` frames of 16-bit little-endian PCM, the device's
    // channel count of samples each, to `out`.
    virtual void renderPcm16(uint8_t* out, int32_t frames) = 0;
    // How many of the `frames` just written are sound: fewer where the sound
    // ends within the block (or must wait for what follows), and the block
    // is then queued that much shorter, with no silence after it.
    virtual int32_t framesWritten(int32_t frames) const { return frames; }
};

struct AudioBlock {
    HGLOBAL dataHandle = nullptr;
    uint8_t* data = nullptr;  // dataHandle locked while the device is open
    HGLOBAL headerHandle = nullptr;
    WAVEHDR* header = nullptr;  // headerHandle locked while the device is open
    int32_t prepared = 0;
};

class WaveOutDevice final : public MixerOutput {
public:
    WaveOutDevice();
    ~WaveOutDevice();
    WaveOutDevice(const WaveOutDevice&) = delete;
    WaveOutDevice& operator=(const WaveOutDevice&) = delete;

    // Opens the default device for PCM of `channels` (1, or 2 for a block
    // source's stereo) and takes blocksWanted (1..32) blocks of blockFrames
    // replay frames each. A failure part way gives back what was taken.
    int open(int32_t rate, int32_t bits, int32_t blockFrames, int32_t blocksWanted, float outputGain,
             int32_t channels = 1);

    int release() override;
    int startThread() override;
    int stopThread() override;
    // The mixer plays `source`; refused on a stereo device, which only a
    // block source can fill.
    int play(ahx::Player* source) override;
    // `source` fills the blocks from now on instead of the mixer; refused
    // unless the device is open for 16-bit samples. Stopping hands it back.
    int playFrom(BlockSource* source);
    int stop() override;
    int pause() override;
    int resume() override;
    int setVolume(int32_t level) override;
    // The waveOut volume word for a level 0..64: 63/64 of the level in the
    // top six bits of both channels' 16-bit volumes.
    static DWORD volumeWord(int32_t level);
    int spareOperation(int32_t a, int32_t b) override;

    // Renders and submits every block the device has finished with, in index
    // order; ends early once playing is cleared or the device is lost.
    void refill();
    // Converts mixBuffer into block i and queues it. A block the device
    // refuses is free again at once; kRefusalsBeforeLost refusals in a row
    // and the device counts as lost.
    void fillBlock(int32_t i);

    // 1 once the sound device has refused kRefusalsBeforeLost blocks in a
    // row (a driver whose device has gone refuses every one): playing is
    // cleared, nothing more is rendered and play refuses, until the next
    // open tries the device again.
    int deviceLost() const { return lost.load(); }
    // The device's answer to the last refused block.
    MMRESULT lastRefusal() const { return lastRefusal_.load(); }
    static constexpr int32_t kRefusalsBeforeLost = 8;

    // Playback threads running in this process; at most one per device.
    static int32_t livePlaybackThreads();

    HWAVEOUT waveOut = nullptr;
    AudioBlock blocks[MAX_BLOCKS] = {};
    int32_t blockCount = 0;
    int32_t framesPerBlock = 0;
    int32_t blockBytes = 0;
    int32_t channels = 1;
    // Set between playFrom and the next stop or play.
    BlockSource* blockSource = nullptr;
    std::atomic<int32_t> stopRequest{0};
    // Set by the playback thread around each look at playing and the refill
    // that follows, so that stop can wait for a refill in progress.
    std::atomic<int32_t> refilling{0};
    std::atomic<int32_t> lost{0};

private:
    static void playbackThread(void* device);
    // Gives back the first `taken` blocks' memory and everything else open took.
    void unwindOpen(int32_t taken);
    int32_t pollMilliseconds() const;
    // One poll's time, or less when stopThread wakes the thread.
    void waitForNextPoll();

    // Set from a successful startThread until stopThread has seen the thread end.
    int32_t threadRunning_ = 0;
    // Refused blocks since the last one the device took; only refill touches it.
    int32_t refusedInARow_ = 0;
    std::atomic<MMRESULT> lastRefusal_{MMSYSERR_NOERROR};
    // Set by stopThread to end the playback thread's wait between polls.
    HANDLE wake_ = nullptr;
};

}  // namespace audio
