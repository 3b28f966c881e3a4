// What the device tests share: a file sink to listen with, a player of a busy
// song, and the reference the device must reproduce: the same song pulled
// block by block from a fresh mixer and packed as 16-bit samples.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "ahx/player.h"
#include "ahx/wave_tables.h"
#include "audio/mixer.h"
#include "audio/sample_conversion.h"
#include "audio/wave_out_device.h"
#include "support/synthetic_songs.h"
#include "support/wave_bank.h"

namespace audio::test {

inline constexpr int32_t kRate = 44100;
inline constexpr int32_t kFrames = 2;
inline constexpr int32_t kBlocks = 16;
inline constexpr size_t kBlockBytes = 3528;

inline std::unique_ptr<ahx::Player> makePlayer(uint32_t seed) {
    auto player = std::make_unique<ahx::Player>();
    player->bindWaveTables(&test_support::sharedBank());
    player->song = synthetic::busySong(seed);
    player->startSubsong(0);
    return player;
}

// The first `bytes` bytes of the song's 16-bit stream, pulled from a mixer
// of its own block by block.
inline std::vector<uint8_t> directRender(uint32_t seed, size_t bytes) {
    auto player = makePlayer(seed);
    auto mixer = std::make_unique<Mixer>();
    mixer->setup(kRate, 16, kFrames, 1.0f);
    mixer->start(player.get());
    std::vector<uint8_t> out;
    std::vector<int16_t> samples(kBlockBytes / 2);
    std::vector<uint8_t> block(kBlockBytes);
    while (out.size() < bytes) {
        mixer->pull(samples.data(), int32_t(samples.size()));
        packPcm(samples.data(), int32_t(samples.size()), 16, block.data());
        out.insert(out.end(), block.begin(), block.end());
    }
    out.resize(bytes);
    return out;
}

inline bool silent(const std::vector<uint8_t>& pcm) {
    for (uint8_t b : pcm) {
        if (b != 0) return false;
    }
    return true;
}

// Every test gets its own file sink, written as fast as blocks arrive. On
// Windows the real device plays; when the test run routes it into a file
// (Wine with an ALSA file sink, named by VELTRANE_CAPTURE_FILE) the tests
// listen there, otherwise the tests that listen are skipped.
class DeviceTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef _WIN32
        const char* capture = std::getenv("VELTRANE_CAPTURE_FILE");
        path_ = capture != nullptr ? capture : "";
#else
        const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
        path_ = ::testing::TempDir() + "wave_out_" + info->test_suite_name() + "_" + info->name() + ".raw";
        std::remove(path_.c_str());
        setenv("VELTRANE_WAVEOUT_FILE", path_.c_str(), 1);
        setenv("VELTRANE_WAVEOUT_PACE", "fast", 1);
#endif
    }
    void TearDown() override {
#ifndef _WIN32
        unsetenv("VELTRANE_WAVEOUT_FILE");
        unsetenv("VELTRANE_WAVEOUT_PACE");
        std::remove(path_.c_str());
#endif
    }

    bool listening() const {
        return !path_.empty();
    }

    std::vector<uint8_t> played() const {
        std::ifstream in(path_, std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    size_t playedBytes() const {
        std::ifstream in(path_, std::ios::binary | std::ios::ate);
        return in ? size_t(in.tellg()) : 0;
    }

    std::string path_;
};

inline DWORD flagsOf(const AudioBlock& block) {
    return std::atomic_ref<DWORD>(block.header->dwFlags).load();
}

}  // namespace audio::test

// Under Wine there may be no sound device: those tests are skipped. The file
// sink of the Linux layer always opens, so there a failure is a failure.
#ifdef _WIN32
#define OPEN_OR_SKIP(device, ...) \
    if ((device).open(__VA_ARGS__) != 1) GTEST_SKIP() << "no sound device could be opened"
#else
#define OPEN_OR_SKIP(device, ...) ASSERT_EQ((device).open(__VA_ARGS__), 1)
#endif
