// A Player bound to the shared waveform bank, for tests that build a small
// song in player.song with the song builder and then tick it.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>

#include "ahx/player.h"
#include "support/synthetic_songs.h"
#include "support/wave_bank.h"

namespace ahx::test {

// The bank sample `offset` bytes from its start.
inline int8_t bankSample(size_t offset) {
    return test_support::sharedBank().samples[offset];
}

class PlayerFixture : public ::testing::Test {
protected:
    PlayerFixture() { player.bindWaveTables(&test_support::sharedBank()); }

    void start() { ASSERT_EQ(player.startSubsong(0), 1); }

    void run(int ticks) {
        for (int i = 0; i < ticks; ++i) player.tick();
    }

    Voice& voice(int k) { return player.voices[k]; }

    Player player;
    Song& song = player.song;
};

}  // namespace ahx::test
