// The streaming output: a ring of PCM blocks on the waveOut device, kept full
// by a playback thread that polls each block's done flag once per block
// length and fills the freed blocks from its source: the mixer playing the
// player, or whatever source the `ahx` tool streams. The thread waits
// between polls on an event, so that stopping it takes no longer than the
// pass in progress.
#pragma once

#include <atomic>
#include <cstdint>

#include "audio/mixer_output.h"
#include "audio/pcm_source.h"
#include "platform/winmm.h"

namespace audio {

inline constexpr int32_t MAX_BLOCKS = 32;
// What the playback thread is called in debuggers and process lists.
inline constexpr char kPlaybackThreadName[] = "veltrane audio";

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

    // Opens the default device for mono PCM and takes blocksWanted (1..32)
    // blocks of blockFrames replay frames each. A failure part way gives
    // back what was taken.
    int open(int32_t rate, int32_t bits, int32_t blockFrames, int32_t blocksWanted,
             float outputGain) override;
    // The same for PCM of `channels` (1, or 2 for a streamed source's stereo).
    int open(int32_t rate, int32_t bits, int32_t blockFrames, int32_t blocksWanted, float outputGain,
             int32_t channels);

    int release() override;
    int startThread() override;
    int stopThread() override;
    // Streams the mixer playing `player`; refused on a stereo device, as the
    // mixer makes mono.
    int play(ahx::Player* player) override;
    // Streams `source`, with the device's channel count, from the next poll
    // on; stopping hands it back.
    int stream(PcmSource* source);
    int stop() override;
    int pause() override;
    int resume() override;
    int setVolume(int32_t level) override;
    // The waveOut volume word for a level 0..64: 63/64 of the level in the
    // top six bits of both channels' 16-bit volumes.
    static DWORD volumeWord(int32_t level);
    int spareOperation(int32_t a, int32_t b) override;

    // Fills and submits every block the device has finished with, in index
    // order; ends early once playing is cleared or the device is lost.
    void refill();
    // Pulls the next block from the source into block i and queues it. A
    // block the device refuses is free again at once; kRefusalsBeforeLost
    // refusals in a row and the device counts as lost.
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
    // What the playback thread pulls: the mixer, or another source from
    // stream to the next stop.
    PcmSource* source = nullptr;
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
    // One block of the source's frames, taken at open.
    int16_t* pcm_ = nullptr;
    int32_t blockFrames_ = 0;
};

}  // namespace audio
