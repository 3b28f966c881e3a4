#include "ahx/wave_tables.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "support/wave_bank.h"

namespace {

using ahx::kWaveSetSize;

std::vector<int> slice(int set, int offset, int length) {
    const int8_t* s = test_support::sharedBank().waveSet(set) + offset;
    return std::vector<int>(s, s + length);
}

TEST(WaveTables, UnfilteredTrianglesAndSawtooths) {
    EXPECT_EQ(slice(31, 0, 4), (std::vector<int>{0, 127, 0, -128}));
    EXPECT_EQ(slice(31, 4, 8), (std::vector<int>{0, 64, 127, 64, 0, -64, -128, -64}));
    EXPECT_EQ(slice(31, 252, 4), (std::vector<int>{-128, -43, 42, 127}));
    EXPECT_EQ(slice(31, 256, 8), (std::vector<int>{-128, -92, -56, -20, 16, 52, 88, 124}));
    // The last sample of each sawtooth shows its integer step.
    const int lastSamples[6] = {127, 124, 127, 120, 124, 126};
    for (int i = 0; i < 6; ++i) {
        const int length = 4 << i;
        EXPECT_EQ(slice(31, 252 + ahx::waveLengthOffsets[i] + length - 1, 1)[0], lastSamples[i]) << length;
    }
    // Triangle 128 peaks at 127 a quarter in and bottoms out at -128 three quarters in.
    EXPECT_EQ(slice(31, 124 + 32, 1)[0], 127);
    EXPECT_EQ(slice(31, 124 + 96, 1)[0], -128);
}

TEST(WaveTables, SquaresWidenTwoSamplesAtATime) {
    for (int k : {0, 1, 15, 31}) {
        std::vector<int> square = slice(31, 504 + 128 * k, 128);
        const int low = 126 - 2 * k;
        for (int i = 0; i < 128; ++i) ASSERT_EQ(square[size_t(i)], i < low ? -128 : 127) << k << " " << i;
    }
}

TEST(WaveTables, NoiseStartsWithTheGeneratorsFirstOutputs) {
    EXPECT_EQ(slice(31, 4600, 16), (std::vector<int>{127, 127, -88, -30, 120, 62, 44, -110, 82, -43, -128,
                                                     -128, -85, -128, 127, 55}));
}

TEST(WaveTables, FilteredWavesMatchKnownValues) {
    EXPECT_EQ(slice(0, 0, 4), (std::vector<int>{2, 3, 4, 3}));
    EXPECT_EQ(slice(32, 0, 4), (std::vector<int>{0, 126, -14, -128}));
    EXPECT_EQ(slice(30, 0, 4), (std::vector<int>{-32, 123, 86, -70}));
    EXPECT_EQ(slice(62, 0, 4), (std::vector<int>{127, 127, -128, -128}));
    // Each wave is filtered by itself from rest: filter state carried over
    // from the wave before changes the starts of the short waves, and noise
    // filtered as fifteen squares' worth instead of one wave of 1920 samples
    // changes the noise at its start and 128 samples in.
    EXPECT_EQ(slice(0, 4, 8), (std::vector<int>{5, 5, 6, 8, 9, 9, 9, 7}));
    EXPECT_EQ(slice(0, 252, 4), (std::vector<int>{-4, -5, -6, -5}));
    EXPECT_EQ(slice(0, 4600, 4), (std::vector<int>{35, 37, 37, 36}));
    EXPECT_EQ(slice(0, 4728, 4), (std::vector<int>{17, 16, 16, 16}));
    EXPECT_EQ(slice(62, 4600, 4), (std::vector<int>{-2, -63, -128, 127}));
}

TEST(WaveTables, EveryBankBuiltIsTheKnownBank) {
    // A fingerprint of all 410760 samples: a change in the rounding of any
    // filter step shows up here even when the examples above still pass. A
    // second bank in the same program must match too: no state may survive
    // from one build into the next.
    auto again = std::make_unique<ahx::WaveTables>();
    const ahx::WaveTables* banks[] = {&test_support::sharedBank(), again.get()};
    for (const ahx::WaveTables* bank : banks) {
        uint32_t hash = 2166136261u;
        for (int8_t s : bank->samples) hash = (hash ^ uint8_t(s)) * 16777619u;
        EXPECT_EQ(hash, 2413220995u);
    }
}

}  // namespace
