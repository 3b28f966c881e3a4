// Track changes on the real streaming device: quick successive changes each
// wait for the playback thread to end, and leave one thread and one open
// device behind, streaming the selected song; a change while paused plays,
// and play/pause then pauses it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "audio/wave_out_device.h"
#include "core/input.h"
#include "core/shared_state.h"
#include "core/track_control.h"
#include "platform/test_hooks.h"
#include "support/wave_bank.h"

namespace core::test {
namespace {

// Playback threads of this process as the system sees them, lingering ones
// included: the threads that carry the playback thread's name.
int32_t playbackThreads() {
    int32_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) {
        std::ifstream comm(entry.path() / "comm");
        std::string name;
        std::getline(comm, name);
        if (name == audio::kPlaybackThreadName) ++count;
    }
    return count;
}

// A thread that has answered its stop may take a moment to end.
bool settlesAt(int32_t wanted) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (playbackThreads() != wanted) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

// The title stored in the song of that track: what the player must hold
// once the change to that track has played.
std::string titleOfTrack(int32_t track) {
    const resources::ResourceData bytes = findSongResource(trackResourceIds[track]);
    ahx::Song song;
    EXPECT_EQ(ahx::loadSong(song, bytes.bytes, int32_t(bytes.size)), 1) << "track " << track;
    return song.title;
}

TEST(TrackChangeOnTheDevice, QuickChangesLeaveOneThreadAndOneOpenDevice) {
    std::string path = ::testing::TempDir() + "track_change_device.raw";
    setenv("VELTRANE_WAVEOUT_FILE", path.c_str(), 1);
    setenv("VELTRANE_WAVEOUT_PACE", "fast", 1);
    auto player = std::make_unique<ahx::Player>();
    auto device = std::make_unique<audio::WaveOutDevice>();
    TrackControl tracks{*player, test_support::sharedBank(), *device};

    currentTrack = 0;
    tracks.startTrack(trackResourceIds[0]);
    // A new opening plays even after a pause; the first play/pause press
    // must then pause it, not resume what is already heard.
    keyDown(tracks, kKeySpace);
    EXPECT_TRUE(device->isPaused());
    tracks.nextTrack();
    EXPECT_FALSE(device->isPaused());
    keyDown(tracks, kKeyMediaPlayPause);
    EXPECT_EQ(device->paused.load(), 1);
    keyDown(tracks, kKeyMediaPlayPause);
    EXPECT_EQ(device->paused.load(), 0);

    for (int i = 0; i < 25; ++i) {
        if (i % 3 == 2) {
            tracks.previousTrack();
        } else {
            tracks.nextTrack();
        }
        EXPECT_TRUE(settlesAt(1)) << "after change " << i << ": " << playbackThreads() << " playback threads";
        EXPECT_EQ(platform::openWaveOutCount(), 1) << "after change " << i;
        EXPECT_EQ(device->playing.load(), 1);
        EXPECT_EQ(player->song.title, titleOfTrack(currentTrack)) << "after change " << i;
    }

    device->stop();
    device->stopThread();
    device->release();
    EXPECT_TRUE(settlesAt(0)) << playbackThreads() << " playback threads";
    EXPECT_EQ(platform::openWaveOutCount(), 0);
    unsetenv("VELTRANE_WAVEOUT_FILE");
    unsetenv("VELTRANE_WAVEOUT_PACE");
    std::remove(path.c_str());
}

}  // namespace
}  // namespace core::test
